#pragma once

#include <Common/Export.h>
#include <string>
#include <vector>

namespace tvo {

// Splits text at every separator. keepEmpty keeps the empty pieces, so the
// piece count is always separators + 1 ("1." -> {"1", ""}, "" -> {""});
// otherwise empty pieces are dropped ("" -> {}).
PMX_COMMON_API std::vector<std::string> Tokenizer(std::string text, char separator, bool keepEmpty);

}  // namespace tvo
