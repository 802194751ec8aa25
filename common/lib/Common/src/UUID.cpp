#include "Common/UUID.h"

#include <cctype>

namespace tvo {
namespace {

constexpr std::size_t kLength = 36;

bool IsDashPosition(std::size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool UUID::IsValid(std::string_view text) {
    if (text.size() != kLength) {
        return false;
    }
    for (std::size_t i = 0; i < kLength; ++i) {
        const bool ok = IsDashPosition(i) ? text[i] == '-' : std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool UUID::IsEmpty(std::string_view text) {
    return text.empty() || text == Nil;
}

bool UUID::IsEqual(std::string_view first, std::string_view second) {
    if (!IsValid(first) || !IsValid(second)) {
        return false;
    }
    for (std::size_t i = 0; i < kLength; ++i) {
        if (Lower(first[i]) != Lower(second[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace tvo
