#include <Recording/Draw.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tvo::Recording {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// Every character valid UTF-8 and one XML allows: decoded here, not matched
// against byte ranges as the drawing does.
bool XmlCharacters(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) {
            return false;
        }
        std::uint32_t c = n == 1 ? b : b & (0x7F >> n);
        for (int k = 1; k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            c = c << 6 | (next & 0x3F);
        }
        constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kShortest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF ||
            (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
            return false;
        }
        i += n;
    }
    return true;
}

// Characters XML allows, tags balanced and plain, references known, no "]]>".
// (make docs runs xmllint over a drawing besides.)
::testing::AssertionResult WellFormed(const std::string& xml) {
    if (!XmlCharacters(xml)) {
        return ::testing::AssertionFailure() << "a character XML does not allow";
    }
    std::vector<std::string> open;
    for (std::size_t i = 0; i < xml.size(); ++i) {
        if (xml[i] == '&') {
            const std::string ref = xml.substr(i + 1, xml.find(';', i) - i - 1);
            if (ref != "amp" && ref != "lt" && ref != "gt" && ref != "quot" && ref != "#39") {
                return ::testing::AssertionFailure() << "reference &" << ref << "; at " << i;
            }
        } else if (xml[i] == '<') {
            const std::size_t end = xml.find('>', i);
            const std::string tag = xml.substr(i + 1, end - i - 1);
            if (end == std::string::npos || tag.find('<') != std::string::npos || Count(tag, "\"") % 2 != 0) {
                return ::testing::AssertionFailure() << "broken tag at " << i;
            }
            if (tag[0] == '/') {
                if (open.empty() || open.back() != tag.substr(1)) {
                    return ::testing::AssertionFailure() << "<" << tag << "> closes nothing open at " << i;
                }
                open.pop_back();
            } else if (tag.back() != '/') {
                open.push_back(tag.substr(0, tag.find(' ')));
            }
            i = end;
        }
    }
    if (!open.empty() || xml.find("]]>") != std::string::npos) {
        return ::testing::AssertionFailure() << "unclosed <" << (open.empty() ? "" : open.back()) << "> or ]]>";
    }
    return ::testing::AssertionSuccess();
}

Event Make(std::int64_t t, const char* kind, Lane from, Lane to, std::string summary, bool failed = false,
           const char* thread = "host") {
    static std::size_t line = 1;
    Event event;
    event.t = t;
    event.thread = thread;
    event.kind = kind;
    event.from = from;
    event.to = to;
    event.summary = std::move(summary);
    event.failed = failed;
    event.line = ++line;
    event.json = std::string("{\"t\":") + std::to_string(t) + ",\"thread\":\"" + thread + "\",\"kind\":\"" + kind +
                 "\",\"args\":{\"a\":[1,2],\"b\":{}}}";
    return event;
}

// One event of every kind, as the reader makes them.
Recording Sample() {
    Recording r;
    r.header = {1, "Velta", true, false, R"({"recording":"dock-road","version":1,"dock":"Velta"})"};
    r.events = {
        Make(0, "call", Lane::Host, Lane::Camera, "SayHello({\"name\":\"cam & co\"})"),
        Make(1200, "callback", Lane::Camera, Lane::Host, "callback GetCameraConfigUri()", false, "t2"),
        Make(1340, "callback-return", Lane::Host, Lane::Camera, "GetCameraConfigUri -> \"file:///x\"", false, "t2"),
        Make(12345, "request", Lane::Camera, Lane::Dock, "PUT /api?type=hello&id=<7>"),
        Make(12351, "reply", Lane::Dock, Lane::Camera, "no reply: refused", true),
        Make(20000, "listen", Lane::Camera, Lane::Camera, "listen 0.0.0.0:8080/cb failed: in use", true),
        Make(21000, "socket", Lane::Camera, Lane::Camera, "socket eth0:5353"),
        Make(22000, "datagram", Lane::Dock, Lane::Camera, "datagram 42 bytes from 10.0.0.2"),
        Make(23000, "ioctl", Lane::Camera, Lane::Dock, "SIOCGMIIREG eth0 -> 0"),
        Make(24000, "interface", Lane::Camera, Lane::System, "mac eth0 -> 00:11:22:33:44:55"),
        Make(25000, "connman", Lane::Camera, Lane::System, "connman prune [] -> ok"),
        Make(26000, "hosts", Lane::Camera, Lane::System, "hosts file +1 -0"),
        Make(1234567, "return", Lane::Camera, Lane::Host, "SayHello -> Ok 'done'"),
    };
    return r;
}

TEST(DrawSvg, DrawsEveryEventOnItsLanesWithTimeAndThread) {
    const Recording r = Sample();
    const std::string svg = DrawSvg(r);
    EXPECT_TRUE(WellFormed(svg));
    EXPECT_EQ(Count(svg, "<g class=\"msg"), r.events.size());
    for (const auto& event : r.events) {
        const std::string mark = event.failed ? "\xE2\x9C\x97 " : "";
        EXPECT_NE(svg.find(">" + mark + Escaped(event.summary) + "<"), std::string::npos) << event.summary;
    }
    for (const char* text : {">0.0 ms<", ">12.3 ms<", ">1234.6 ms<", ">host<", ">camera library<", ">dock<", ">system<",
                             "Velta road", "simulated", "not redacted"}) {
        EXPECT_NE(svg.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(Count(svg, ">[t2]<"), 2U);
    EXPECT_EQ(Count(svg, "[host]"), 0U);
    // Two failures, an arrow and a note on a lane: both marked, the arrow red-headed.
    EXPECT_EQ(Count(svg, " failed\" data-index"), 2U);
    EXPECT_EQ(Count(svg, "\xE2\x9C\x97 "), 2U);
    EXPECT_EQ(Count(svg, "url(#arrowhead-failed)"), 1U);
    EXPECT_EQ(Count(svg, "<line class=\"arrow\""), r.events.size() - 2);

    // The system lane only when some event goes there.
    Recording noSystem = r;
    noSystem.events.resize(9);
    EXPECT_EQ(DrawSvg(noSystem).find(">system<"), std::string::npos);
}

TEST(DrawSvg, EmptyRecordingsAndProblemsDraw) {
    const std::string empty = DrawSvg(Recording{});
    EXPECT_TRUE(WellFormed(empty));
    EXPECT_NE(empty.find("No events"), std::string::npos);
    EXPECT_NE(empty.find("unknown dock"), std::string::npos);

    Recording r = Sample();
    for (int i = 0; i < 60; ++i) {
        r.problems.push_back("line " + std::to_string(i + 15) + ": cut short");
    }
    const std::string svg = DrawSvg(r);
    EXPECT_TRUE(WellFormed(svg));
    EXPECT_NE(svg.find("line 15: cut short"), std::string::npos);
    EXPECT_NE(svg.find("line 64: cut short"), std::string::npos);
    EXPECT_EQ(svg.find("line 65: cut short"), std::string::npos);
    EXPECT_NE(svg.find("and 10 more"), std::string::npos);
}

TEST(DrawSvg, LongRecordingsAndSummariesAreCut) {
    Recording r;
    r.header.version = 1;
    for (int i = 0; i < 6000; ++i) {
        r.events.push_back(Make(i * 100, "request", Lane::Camera, Lane::Dock, "PUT " + std::string(200, 'x')));
    }
    const std::string svg = DrawSvg(r);
    EXPECT_EQ(Count(svg, "<g class=\"msg"), kMaxDrawnEvents);
    EXPECT_NE(svg.find("1000 more events, from line " + std::to_string(r.events[5000].line)), std::string::npos);
    EXPECT_NE(svg.find(">PUT " + std::string(85, 'x') + "\xE2\x80\xA6<"), std::string::npos);
    EXPECT_LT(svg.size(), kMaxDrawnEvents * 1000);
    EXPECT_TRUE(WellFormed(svg));
    const std::string html = DrawHtml(r);
    EXPECT_EQ(Count(html, "<pre id=\"msg-"), kMaxDrawnEvents);
}

// What the field wrote must stay text, whatever it looks like.
TEST(Draw, HostileContentStaysInert) {
    const std::string hostile =
        "</script><script>alert(1)</script> ]]> <svg onload=alert(1)> <!-- &bogus; \" ' "
        "\xff\xfe \xed\xa0\x80 \xc0\xaf \xe0\x80\xaf \xef\xbf\xbe \xe2\x82 ";
    const std::string withControls = hostile + std::string(1, '\0') + "\x01\x1b[31m";
    Recording r = Sample();
    r.header.dock = hostile;
    r.header.json = withControls;
    r.problems = {withControls};
    r.events.push_back(Make(1, hostile.c_str(), Lane::Dock, Lane::System, withControls, true, hostile.c_str()));
    r.events.back().json = "{\"body\":\"" + withControls + "\"}";

    const std::string svg = DrawSvg(r);
    EXPECT_TRUE(WellFormed(svg));
    EXPECT_EQ(Count(svg, "<svg"), 1U);
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_EQ(svg.find("<!--"), std::string::npos);
    EXPECT_NE(svg.find("\xEF\xBF\xBD"), std::string::npos);  // the bad bytes are shown as such

    const std::string html = DrawHtml(r);
    EXPECT_EQ(Count(html, "<script"), 1U);
    EXPECT_EQ(Count(html, "</script"), 1U);
    EXPECT_EQ(Count(html, "<svg"), 1U);
    EXPECT_EQ(html.find("<!--"), std::string::npos);
    EXPECT_EQ(html.find('\0'), std::string::npos);
    EXPECT_EQ(html.find('\x1b'), std::string::npos);
    EXPECT_EQ(html.find("\xff"), std::string::npos);
    EXPECT_NE(html.find("&quot;body&quot;: &quot;&lt;/script&gt;&lt;script&gt;"), std::string::npos);
}

TEST(DrawHtml, HoldsEachMessagesContentAndLoadsNothing) {
    Recording r = Sample();
    r.events[3].json.assign(300 * 1024, 'y');
    const std::string html = DrawHtml(r);
    for (std::size_t i = 0; i < r.events.size(); ++i) {
        const std::string index = std::to_string(i);
        EXPECT_NE(html.find("data-index=\"" + index + "\""), std::string::npos);
        EXPECT_NE(html.find("<pre id=\"msg-" + index + "\""), std::string::npos);
    }
    EXPECT_NE(html.find("&quot;args&quot;: {\n    &quot;a&quot;: [\n      1,\n      2\n    ],\n    "
                        "&quot;b&quot;: {}\n  }"),
              std::string::npos);
    EXPECT_NE(html.find(std::to_string(44 * 1024) + " more bytes in the file"), std::string::npos);
    EXPECT_NE(html.find("Content-Security-Policy\" content=\"default-src 'none'"), std::string::npos);
    EXPECT_EQ(html.find(" src="), std::string::npos);
    EXPECT_EQ(html.find("href"), std::string::npos);
    EXPECT_EQ(Count(html, "://"), Count(html, "http://www.w3.org/2000/svg") + Count(html, "file:///x"));
}

TEST(PrettyJson, IndentsOutsideStringsOnly) {
    EXPECT_EQ(PrettyJson(R"({"a": [1, {"b":"x{,}[:]\"y"}], "c":{}, "d":[ ]})"),
              "{\n  \"a\": [\n    1,\n    {\n      \"b\": \"x{,}[:]\\\"y\"\n    }\n  ],\n  \"c\": {},\n"
              "  \"d\": []\n}");
    // No JSON: kept as far as it goes; deep nesting does not grow without bound.
    EXPECT_EQ(PrettyJson("{\"cut"), "{\n  \"cut");
    EXPECT_EQ(PrettyJson("]]"), "\n]\n]");
    EXPECT_LT(PrettyJson(std::string(10000, '[')).size(), 10000U * 70);
}

}  // namespace
}  // namespace tvo::Recording
