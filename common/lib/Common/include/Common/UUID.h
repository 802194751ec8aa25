#pragma once
// Checks on UUID text ("8-4-4-4-12" hexadecimal groups).

#include <Common/Export.h>
#include <string_view>

namespace tvo {

struct PMX_COMMON_API UUID {
    // The nil UUID: the tenant of a camera or server that belongs to none.
    static constexpr std::string_view Nil = "00000000-0000-0000-0000-000000000000";

    // 36 characters, hex digits of either case, dashes at 8, 13, 18 and 23.
    static bool IsValid(std::string_view text);
    // Empty text or the nil UUID (all zeros).
    static bool IsEmpty(std::string_view text);
    // Both valid and the same UUID, ignoring hex case.
    static bool IsEqual(std::string_view first, std::string_view second);
};

}  // namespace tvo
