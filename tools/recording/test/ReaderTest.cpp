// A recording from the field may be cut short, newer than this reader, or
// damaged: it is read as far as it goes, and what was skipped is said.

#include <Recording/Recording.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tvo::Recording {
namespace {

using testing::HasSubstr;

const std::string kHeader = R"({"recording":"dock-road","version":1,"dock":"Velta","simulated":true})"
                            "\n";
const std::string kCall = R"({"t":10,"thread":"host","kind":"call","id":1,"op":"SayHello","args":{}})"
                          "\n";
const std::string kReturn = R"({"t":20,"thread":"host","kind":"return","id":1,"op":"SayHello","code":"Failed"})"
                            "\n";

TEST(Reader, ReadsEventsWithLanesSummariesAndFailures) {
    const auto recording = Parse(kHeader + kCall + kReturn);
    EXPECT_TRUE(recording.problems.empty());
    EXPECT_EQ(recording.header.dock, "Velta");
    ASSERT_EQ(recording.events.size(), 2u);
    EXPECT_EQ(recording.events[0].from, Lane::Host);
    EXPECT_EQ(recording.events[0].summary, "SayHello()");
    EXPECT_EQ(recording.events[1].summary, "SayHello -> Failed");
    EXPECT_TRUE(recording.events[1].failed);
    EXPECT_EQ(recording.events[1].line, 3u);
}

TEST(Reader, ACutLastLineKeepsWhatCameBefore) {
    const std::string cut = kReturn.substr(0, kReturn.size() / 2);
    const auto recording = Parse(kHeader + kCall + cut);
    ASSERT_EQ(recording.events.size(), 1u);
    ASSERT_EQ(recording.problems.size(), 1u);
    EXPECT_THAT(recording.problems[0], HasSubstr("line 3 is cut short"));
}

TEST(Reader, NewerVersionsAndUnknownFieldsAndKindsAreReadAsFarAsKnown) {
    const std::string newer = R"({"recording":"dock-road","version":7,"dock":"Oskin","future":[1,2]})"
                              "\n";
    const std::string unknown = R"({"t":5,"thread":"t9","kind":"hologram","beam":{"x":1}})"
                                "\n";
    const std::string extra = R"({"t":6,"thread":"host","kind":"call","op":"SayHello","colour":"blue"})"
                              "\n";
    const auto recording = Parse(newer + unknown + extra);
    ASSERT_EQ(recording.events.size(), 2u);
    EXPECT_EQ(recording.events[0].summary, "(hologram)");
    EXPECT_EQ(recording.events[1].summary, "SayHello()");
    ASSERT_EQ(recording.problems.size(), 1u);
    EXPECT_THAT(recording.problems[0], HasSubstr("version 7 is newer than this reader's 1"));
}

TEST(Reader, DamageIsSkippedLineByLineAndNoRecordingIsSaidSo) {
    const auto damaged = Parse(kHeader + "not json\n" + "[1,2]\n" + R"({"kind":"call"})" + "\n" + kCall);
    EXPECT_EQ(damaged.events.size(), 1u);
    EXPECT_EQ(damaged.problems.size(), 3u);

    EXPECT_THAT(Parse("").problems.at(0), HasSubstr("empty"));
    EXPECT_THAT(Parse(R"({"some":"json"})").problems.at(0), HasSubstr("not a road recording"));
    EXPECT_THAT(Read("/nonexistent/road.jsonl").problems.at(0), HasSubstr("cannot read"));
    // A line past the bound is not parsed at all.
    const std::string huge = R"({"t":1,"kind":"call","op":")" + std::string(kMaxLineBytes, 'x') + "\"}\n";
    const auto bounded = Parse(kHeader + huge + kCall);
    EXPECT_EQ(bounded.events.size(), 1u);
    EXPECT_THAT(bounded.problems.at(0), HasSubstr("longer than"));
}

}  // namespace
}  // namespace tvo::Recording
