// `dockhost draw`: a recording file in, its drawing out.

#include "Recording/Draw.h"

#include <fstream>
#include <iostream>

namespace tvo::Recording {

int DrawCommand(const std::string& input, const std::string& output, bool html, std::ostream& err) {
    const Recording recording = Read(input);
    if (recording.header.version == 0 && recording.events.empty() && !recording.problems.empty()) {
        for (const auto& problem : recording.problems) {
            err << input << ": " << problem << "\n";
        }
        return 1;
    }
    if (!recording.problems.empty()) {
        err << input << ": " << recording.problems.size() << " problem(s) reading it, listed in the drawing\n";
    }
    const std::string drawing = html ? DrawHtml(recording) : DrawSvg(recording);
    if (output == "-") {
        std::cout << drawing << std::flush;
        return std::cout ? 0 : 1;
    }
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file << drawing;
    file.close();
    if (!file) {
        err << output << ": cannot write the drawing\n";
        return 1;
    }
    return 0;
}

}  // namespace tvo::Recording
