#include "Common/Tokenizer.h"
#include "Common/UUID.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tvo {
namespace {

using ::testing::ElementsAre;

TEST(UUIDTest, ShapeEmptinessAndCaseInsensitiveEquality) {
    constexpr std::string_view lower = "0f8fad5b-d9cb-469f-a165-70867728950e";
    constexpr std::string_view upper = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    constexpr std::string_view nil = "00000000-0000-0000-0000-000000000000";
    EXPECT_TRUE(UUID::IsValid(lower) && UUID::IsValid(upper) && UUID::IsValid(nil));
    for (std::string_view bad : {std::string_view(""), std::string_view("0f8fad5b-d9cb-469f-a165-70867728950"),
                                 std::string_view("0f8fad5b-d9cb-469f-a165-70867728950e0"),
                                 std::string_view("0f8fad5bd-9cb-469f-a165-70867728950e"),
                                 std::string_view("0f8fad5g-d9cb-469f-a165-70867728950e"),
                                 std::string_view("{f8fad5b-d9cb-469f-a165-70867728950e}"),
                                 std::string_view("0f8fad5b-d9cb-469f-a165-70867728950\0", 36)}) {
        EXPECT_FALSE(UUID::IsValid(bad)) << bad;
    }
    EXPECT_TRUE(UUID::IsEmpty("") && UUID::IsEmpty(nil));
    EXPECT_FALSE(UUID::IsEmpty(lower) || UUID::IsEmpty("00000000-0000-0000-0000-000000000001"));
    EXPECT_TRUE(UUID::IsEqual(lower, upper));
    EXPECT_FALSE(UUID::IsEqual(lower, nil));
    EXPECT_FALSE(UUID::IsEqual("not-a-uuid", "not-a-uuid")) << "malformed texts are never equal";
}

TEST(TokenizerTest, EmptyPiecesKeptOrDropped) {
    EXPECT_THAT(Tokenizer("1.", '.', true), ElementsAre("1", ""));
    EXPECT_THAT(Tokenizer("", '.', true), ElementsAre(""));
    EXPECT_THAT(Tokenizer(".2..", '.', true), ElementsAre("", "2", "", ""));
    EXPECT_THAT(Tokenizer("a=1&api-version=2.1", '&', true), ElementsAre("a=1", "api-version=2.1"));
    EXPECT_THAT(Tokenizer("", '.', false), ElementsAre());
    EXPECT_THAT(Tokenizer(".2..3.", '.', false), ElementsAre("2", "3"));
}

}  // namespace
}  // namespace tvo
