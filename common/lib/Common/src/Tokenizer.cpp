#include "Common/Tokenizer.h"

namespace tvo {

std::vector<std::string> Tokenizer(std::string text, char separator, bool keepEmpty) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        if (keepEmpty || stop > start) {
            pieces.push_back(text.substr(start, stop - start));
        }
        if (end == std::string::npos) {
            return pieces;
        }
        start = end + 1;
    }
}

}  // namespace tvo
