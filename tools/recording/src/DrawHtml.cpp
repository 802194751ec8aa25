// The diagram as a page to read a road with: click a message, read all of it.
// Each event's content sits in its own escaped <pre>; the page's one script is
// constant and only copies text (textContent) from there into the panel, so
// nothing from the recording is ever parsed as markup or run.

#include "Recording/Draw.h"

#include "DrawText.h"

#include <algorithm>

namespace tvo::Recording {
namespace {

// An event's content beyond this is cut; bodies over 64 KiB are already
// shortened by the recorder, so this only meets lines written by others.
constexpr std::size_t kMaxContent = std::size_t{256} * 1024;
// The page holds at most this much content; later messages point to their line.
constexpr std::size_t kMaxPageContent = std::size_t{48} * 1024 * 1024;

// Nothing may load, whatever got into the page.
constexpr const char* kPolicy = "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'";

constexpr const char* kStyle = R"(
body{margin:0;font-family:sans-serif;color:#222}
main{display:flex;height:100vh}
#diagram{flex:1;overflow:auto}#diagram svg{display:block}.msg{cursor:pointer}
#panel{width:32%;min-width:300px;overflow:auto;border-left:1px solid #ccd;padding:0 12px;background:#fafbfd}
#panel p{color:#667;font-size:13px;margin:10px 0 0}#panel h2{font-size:14px;margin:8px 0 6px}
#panel pre{font-size:12px;white-space:pre-wrap;overflow-wrap:anywhere;margin:0 0 12px}
)";

constexpr const char* kScript = R"(
(function () {
  'use strict';
  var svg = document.querySelector('#diagram svg');
  var panelTitle = document.getElementById('panel-title');
  var panelContent = document.getElementById('panel-content');
  var selected = null;
  function show(group) {
    var content = document.getElementById('msg-' + group.getAttribute('data-index'));
    if (!content) return;
    if (selected) selected.classList.remove('sel');
    selected = group;
    group.classList.add('sel');
    panelTitle.textContent = content.getAttribute('data-title');
    panelContent.textContent = content.textContent;
  }
  svg.addEventListener('click', function (e) {
    var group = e.target.closest('g.msg');
    if (group) show(group);
  });
  if (location.hash !== '#selftest') return;
  // For a headless browser: click the first message, say what came of it.
  var groups = svg.querySelectorAll('g.msg');
  var box = svg.getBoundingClientRect();
  var result;
  if (!(box.width > 0 && box.height > 0)) {
    result = 'failed: the diagram did not render';
  } else if (groups.length === 0) {
    result = 'ok: no messages';
  } else {
    var first = groups[0];
    var label = first.querySelector('.label');
    label.dispatchEvent(new MouseEvent('click', {bubbles: true, cancelable: true, view: window}));
    var content = document.getElementById('msg-' + first.getAttribute('data-index'));
    if (!(label.getBBox().width > 0)) {
      result = 'failed: the first label has no size';
    } else if (selected !== first || !content || content.textContent.length === 0 ||
               panelContent.textContent !== content.textContent) {
      result = 'failed: a click on the first message did not show its content';
    } else {
      result = 'ok: ' + content.id + ' shown, ' + groups.length + (groups.length === 1 ? ' message' : ' messages');
    }
  }
  document.body.setAttribute('data-selftest', result);
})();
)";

std::string Content(const std::string& json) {
    const bool cut = json.size() > kMaxContent;
    std::string pretty = PrettyJson(cut ? std::string_view(json).substr(0, kMaxContent) : std::string_view(json));
    if (cut) {
        pretty += "\n\xE2\x80\xA6 (" + std::to_string(json.size() - kMaxContent) + " more bytes in the file)";
    }
    return draw::Escape(draw::Clean(pretty));
}

}  // namespace

std::string DrawHtml(const Recording& recording) {
    const std::string title = draw::Escape(draw::Title(recording.header));
    std::string page = std::string("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n") +
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"" + kPolicy + "\">\n<title>" + title +
                       "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<main>\n<div id=\"diagram\">\n";
    page += DrawSvg(recording);
    page +=
        "</div>\n<aside id=\"panel\"><p>Click a message to see all of it.</p><h2 id=\"panel-title\">The "
        "recording&#39;s header</h2><pre id=\"panel-content\">" +
        Content(recording.header.json) + "</pre></aside>\n</main>\n<div id=\"contents\" hidden>\n";

    std::size_t budget = kMaxPageContent;
    const std::size_t drawn = std::min(recording.events.size(), kMaxDrawnEvents);
    for (std::size_t i = 0; i < drawn; ++i) {
        const Event& event = recording.events[i];
        std::string heading = "Line " + std::to_string(event.line) + " \xC2\xB7 " + draw::Milliseconds(event.t) +
                              " \xC2\xB7 " + draw::Cut(draw::Clean(event.thread), 16) + " \xC2\xB7 " +
                              draw::Cut(draw::Clean(event.kind), 32) + (event.failed ? " \xC2\xB7 failed" : "");
        std::string content = budget > 0 ? Content(event.json) : std::string();
        if (budget == 0 || content.size() > budget) {
            budget = 0;
            content = "(left out: this page holds the first " + std::to_string(kMaxPageContent >> 20) +
                      " MiB of contents; see line " + std::to_string(event.line) + " of the file)";
        } else {
            budget -= content.size();
        }
        page += "<pre id=\"msg-" + std::to_string(i) + "\" data-title=\"" + draw::Escape(heading) + "\">" + content +
                "</pre>\n";
    }
    page += "</div>\n<script>";
    page += kScript;
    page += "</script>\n</body>\n</html>\n";
    return page;
}

}  // namespace tvo::Recording
