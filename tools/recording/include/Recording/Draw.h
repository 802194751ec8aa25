#pragma once
// Drawings of a recording: a sequence diagram, one arrow per event between
// the lanes host, camera library, dock and system.
//
// A recording comes from the field, so everything it holds is escaped, cut
// to a readable length and stripped of bytes that would break the document;
// nothing it holds can add markup, script or a reference to the page.

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

#include "Recording/Recording.h"

namespace tvo::Recording {

// Beyond this many events a drawing says how many it left out: a browser
// still scrolls through this many rows, not through a whole long road.
constexpr std::size_t kMaxDrawnEvents = 5000;

// The diagram as a standalone SVG document, valid XML in UTF-8.
std::string DrawSvg(const Recording& recording);

// One self-contained HTML page: the diagram, and beside it the full content
// of the message that was clicked. It loads nothing; opened with the address
// ending in "#selftest" it clicks its first message itself and reports on the
// body's data-selftest attribute ("ok: ..." or "failed: ...").
std::string DrawHtml(const Recording& recording);

// A JSON text indented two spaces a level, for reading. Text that is no JSON
// comes back re-indented as far as its brackets go, never lost.
std::string PrettyJson(std::string_view json);

// `dockhost draw INPUT -o OUTPUT [--html]`: reads INPUT, writes the drawing
// to OUTPUT, and tells `err` what went wrong. Returns 0 when the drawing was
// written, 1 when INPUT gave nothing to draw or OUTPUT could not be written.
int DrawCommand(const std::string& input, const std::string& output, bool html, std::ostream& err);

}  // namespace tvo::Recording
