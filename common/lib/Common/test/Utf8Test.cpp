#include "Common/Utf8.h"

#include <gtest/gtest.h>

namespace tvo {
namespace {

TEST(Utf8, WellFormedTextPassesUnchanged) {
    for (const std::string& text :
         std::initializer_list<std::string>{"", "say_hello", "pr\xC3\xB6xy", "\xE2\x82\xAC 5", "\xF0\x9F\x93\xB7",
                                            std::string("a\0b", 3), "\xED\x9F\xBF", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_EQ(ToValidUtf8(text), text);
    }
}

TEST(Utf8, EachBadByteBecomesOneReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(ToValidUtf8("\xFF\xFF"), r + r);
    EXPECT_EQ(ToValidUtf8("a\x80z"), "a" + r + "z");            // stray continuation
    EXPECT_EQ(ToValidUtf8("\xC0\xAF"), r + r);                  // overlong '/'
    EXPECT_EQ(ToValidUtf8("\xED\xA0\x80"), r + r + r);          // surrogate
    EXPECT_EQ(ToValidUtf8("\xF4\x90\x80\x80"), r + r + r + r);  // past U+10FFFF
    EXPECT_EQ(ToValidUtf8("ok\xE2\x82"), "ok" + r + r);         // cut off at the end
    EXPECT_EQ(ToValidUtf8("\xC3(x"), r + "(x");
}

}  // namespace
}  // namespace tvo
