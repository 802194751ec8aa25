#pragma once
// Writing whole contents: every byte or a failure, interrupted writes retried.

#include <string>
#include <string_view>

namespace tvo::Recording {

// False with errno set when not every byte went out.
bool WriteAll(int fd, std::string_view data);
// Creates or empties the file (close-on-exec) and writes the content.
bool WriteWholeFile(const std::string& path, std::string_view content);

}  // namespace tvo::Recording
