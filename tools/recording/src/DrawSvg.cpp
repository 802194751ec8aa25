// The sequence diagram, written as SVG by hand: one row of fixed height per
// event, so that even thousands of events lay out in one pass.

#include "Recording/Draw.h"

#include "DrawText.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tvo::Recording {
namespace {

constexpr int kRow = 26;         // per event
constexpr int kTimeEnd = 84;     // the time offset ends here, right-aligned
constexpr int kThreadX = 90;     // the thread starts here
constexpr int kHeadWidth = 140;  // a lane's name box
constexpr int kHeadHeight = 30;
constexpr int kHeadTop = 52;
constexpr int kFirstLane = 130 + kHeadWidth / 2;
constexpr int kFirstRow = kHeadTop + kHeadHeight + 28;
constexpr double kCharWidth = 6.7;  // of the 11px monospace labels, a little generous
constexpr std::size_t kMaxSummary = 90;
constexpr std::size_t kMaxThread = 8;
constexpr std::size_t kMaxProblemsListed = 50;
constexpr std::size_t kMaxProblem = 160;

constexpr std::array<const char*, 4> kLaneNames = {"host", "camera library", "dock", "system"};

int Column(Lane lane) {
    switch (lane) {
        case Lane::Host: return 0;
        case Lane::Camera: return 1;
        case Lane::Dock: return 2;
        case Lane::System: return 3;
    }
    return 1;
}

int TextWidth(std::size_t chars) {
    return static_cast<int>(std::lround(static_cast<double>(chars) * kCharWidth));
}

bool IsAnswer(const std::string& kind) {
    return kind == "return" || kind == "reply" || kind == "callback-return";
}

constexpr const char* kStyle =
    "text{font-family:sans-serif;font-size:12px;fill:#222}"
    ".title{font-size:16px;font-weight:bold}.counts{fill:#555}"
    ".head rect{fill:#e8eef8;stroke:#4a6fa5}.head text{font-size:13px;text-anchor:middle}"
    ".life{stroke:#8a99a8;stroke-dasharray:4 4}"
    ".msg text{font-family:monospace;font-size:11px}.msg .time,.msg .thread{fill:#667}"
    ".hit{fill:transparent}.msg:hover .hit{fill:#eef3fb}.msg.sel .hit{fill:#fff0b3}"
    ".arrow{stroke:#333;stroke-width:1.2}.answer .arrow{stroke-dasharray:6 3}"
    ".box{fill:#fdfbe9;stroke:#a89b4c}"
    ".failed .arrow{stroke:#c62828;stroke-width:1.6}.failed .label{fill:#c62828;font-weight:bold}"
    ".failed .box{fill:#fdecec;stroke:#c62828}"
    ".note rect{fill:#fff8e1;stroke:#d9a520}.note text{font-family:monospace;font-size:11px}";

class SvgWriter {
public:
    explicit SvgWriter(const Recording& recording) : recording_(recording) {
        for (const auto& event : recording.events) {
            lanes_ = std::max({lanes_, Column(event.from) + 1, Column(event.to) + 1});
        }
        drawn_ = std::min(recording.events.size(), kMaxDrawnEvents);
        // The lanes stand far enough apart for the longest label between two of them.
        std::size_t longest = 0;
        for (std::size_t i = 0; i < drawn_; ++i) {
            const auto& event = recording.events[i];
            if (event.from != event.to) {
                longest = std::max(longest, std::min(draw::Length(draw::Clean(event.summary)), kMaxSummary) + 2);
            }
        }
        // Past 80 characters a label may cross the next life line rather than
        // widen every gap.
        gap_ = std::clamp(TextWidth(longest) + 30, 180, TextWidth(80) + 30);
        right_ = LaneX(lanes_ - 1) + kHeadWidth / 2;
    }

    std::string Write() {
        const int foot = kFirstRow + static_cast<int>(drawn_) * kRow - kRow / 2 + 8;
        Heads(kHeadTop);
        for (int lane = 0; lane < lanes_; ++lane) {
            Line("life", LaneX(lane), kHeadTop + kHeadHeight, LaneX(lane), foot);
        }
        for (std::size_t i = 0; i < drawn_; ++i) {
            Message(i, kFirstRow + static_cast<int>(i) * kRow);
        }
        Heads(foot);
        int y = foot + kHeadHeight + 24;
        if (recording_.events.empty()) {
            y = Note(y, {"No events in this recording."});
        }
        if (drawn_ < recording_.events.size()) {
            const auto& next = recording_.events[drawn_];
            y = Note(y, {std::to_string(recording_.events.size() - drawn_) + " more events, from line " +
                         std::to_string(next.line) + " of the file on, are left out: a drawing shows the first " +
                         std::to_string(kMaxDrawnEvents) + "."});
        }
        if (!recording_.problems.empty()) {
            std::vector<std::string> lines{"Problems reading the recording:"};
            for (std::size_t i = 0; i < recording_.problems.size() && i < kMaxProblemsListed; ++i) {
                lines.push_back("\xE2\x80\xA2 " + draw::Cut(draw::Clean(recording_.problems[i]), kMaxProblem));
            }
            if (recording_.problems.size() > kMaxProblemsListed) {
                lines.push_back("\xE2\x80\xA6 and " + std::to_string(recording_.problems.size() - kMaxProblemsListed) +
                                " more");
            }
            y = Note(y, lines);
        }

        const int width = right_ + 20, height = y + 4;
        const std::string title = draw::Escape(draw::Title(recording_.header));
        std::string svg =
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
            std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
            "\" role=\"img\">\n<title>" + title + "</title>\n<style>" + kStyle + "</style>\n" +
            "<defs><marker id=\"arrowhead\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" "
            "markerWidth=\"8\" markerHeight=\"8\" orient=\"auto\"><path d=\"M0,0L10,5L0,10z\" "
            "fill=\"#333\"/></marker><marker id=\"arrowhead-failed\" viewBox=\"0 0 10 10\" refX=\"10\" "
            "refY=\"5\" markerWidth=\"8\" markerHeight=\"8\" orient=\"auto\"><path "
            "d=\"M0,0L10,5L0,10z\" fill=\"#c62828\"/></marker></defs>\n" +
            "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n" + "<text class=\"title\" x=\"12\" y=\"22\">" +
            title + "</text>\n" + "<text class=\"counts\" x=\"12\" y=\"40\">" + draw::Escape(draw::Counts(recording_)) +
            "</text>\n";
        svg += body_;
        svg += "</svg>\n";
        return svg;
    }

private:
    int LaneX(int column) const { return kFirstLane + column * gap_; }

    void Line(const char* cls, int x1, int y1, int x2, int y2) {
        body_ += "<line class=\"" + std::string(cls) + "\" x1=\"" + std::to_string(x1) + "\" y1=\"" +
                 std::to_string(y1) + "\" x2=\"" + std::to_string(x2) + "\" y2=\"" + std::to_string(y2) + "\"/>\n";
    }

    void Text(const char* cls, int x, int y, const std::string& escaped, const char* anchor = nullptr) {
        body_ += "<text class=\"" + std::string(cls) + "\" x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
                 "\"" + (anchor ? std::string(" text-anchor=\"") + anchor + "\"" : "") + ">" + escaped + "</text>";
    }

    void Rect(int x, int y, int width, int height, const char* extra = "") {
        body_ += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                 std::to_string(width) + "\" height=\"" + std::to_string(height) + "\"" + extra + "/>";
    }

    void Heads(int top) {
        body_ += "<g class=\"head\">";
        for (int lane = 0; lane < lanes_; ++lane) {
            Rect(LaneX(lane) - kHeadWidth / 2, top, kHeadWidth, kHeadHeight, " rx=\"4\"");
            Text("", LaneX(lane), top + 20, kLaneNames[lane]);
        }
        body_ += "</g>\n";
    }

    void Message(std::size_t index, int y) {
        const Event& event = recording_.events[index];
        const std::string clean = draw::Clean(event.summary);
        std::string label = draw::Escape(draw::Cut(clean, kMaxSummary));
        std::size_t labelChars = std::min(draw::Length(clean), kMaxSummary);
        if (event.failed) {
            label = "\xE2\x9C\x97 " + label;  // U+2717
            labelChars += 2;
        }
        const bool self = event.from == event.to;
        std::string cls = "msg";
        cls += self ? " self" : "";
        cls += IsAnswer(event.kind) ? " answer" : "";
        cls += event.failed ? " failed" : "";
        body_ += "<g class=\"" + cls + "\" data-index=\"" + std::to_string(index) + "\" data-line=\"" +
                 std::to_string(event.line) + "\">";
        // The whole row takes the click, not only the thin arrow.
        body_ += "<rect class=\"hit\" x=\"0\" y=\"" + std::to_string(y - kRow / 2 - 3) + "\" width=\"100%\" height=\"" +
                 std::to_string(kRow) + "\"/>";
        if (draw::Length(clean) > kMaxSummary) {
            body_ += "<title>" + draw::Escape(draw::Cut(clean, 2000)) + "</title>";
        }
        Text("time", kTimeEnd, y + 4, draw::Milliseconds(event.t), "end");
        if (event.thread != "host" && !event.thread.empty()) {
            Text("thread", kThreadX, y + 4, "[" + draw::Shown(event.thread, kMaxThread) + "]");
        }
        const int from = LaneX(Column(event.from)), to = LaneX(Column(event.to));
        if (self) {
            const int width = TextWidth(labelChars) + 14;
            Rect(from + 8, y - 12, width, 18, " class=\"box\" rx=\"3\"");
            Text("label", from + 15, y + 1, label);
            right_ = std::max(right_, from + 8 + width);
        } else {
            body_ += "<line class=\"arrow\" x1=\"" + std::to_string(from) + "\" y1=\"" + std::to_string(y) +
                     "\" x2=\"" + std::to_string(to) + "\" y2=\"" + std::to_string(y) + "\" marker-end=\"url(#" +
                     (event.failed ? "arrowhead-failed" : "arrowhead") + ")\"/>";
            const int left = std::min(from, to) + 14;  // clear of a head pointing left
            Text("label", left, y - 5, label);
            right_ = std::max(right_, left + TextWidth(labelChars));
        }
        body_ += "</g>\n";
    }

    // A note of clean lines; gives the y below it.
    int Note(int y, const std::vector<std::string>& lines) {
        std::size_t longest = 0;
        for (const auto& line : lines) {
            longest = std::max(longest, draw::Length(line));
        }
        const int width = TextWidth(longest) + 24, height = static_cast<int>(lines.size()) * 16 + 12;
        body_ += "<g class=\"note\">";
        Rect(12, y, width, height, " rx=\"4\"");
        for (std::size_t i = 0; i < lines.size(); ++i) {
            Text("", 24, y + 20 + static_cast<int>(i) * 16, draw::Escape(lines[i]));
        }
        body_ += "</g>\n";
        right_ = std::max(right_, 12 + width);
        return y + height + 16;
    }

    const Recording& recording_;
    int lanes_ = 3;  // host, camera library, dock; the system lane when an event uses it
    std::size_t drawn_ = 0;
    int gap_ = 0;
    int right_ = 0;
    std::string body_;
};

}  // namespace

std::string DrawSvg(const Recording& recording) {
    return SvgWriter(recording).Write();
}

}  // namespace tvo::Recording
