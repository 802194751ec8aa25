#pragma once
// Text from a dock echoed into JSON must be valid UTF-8, or the reply is no
// JSON at all.

#include <Common/Export.h>
#include <string>
#include <string_view>

namespace tvo {

// The text with every byte that is not part of a well-formed UTF-8 sequence
// (stray continuation bytes, overlong forms, surrogates, code points past
// U+10FFFF, cut-off sequences) replaced by U+FFFD.
PMX_COMMON_API std::string ToValidUtf8(std::string_view text);

}  // namespace tvo
