#pragma once
// How bytes are kept in a recording: text as a JSON string, other bytes as
// hex, large bodies as a digest with their ends.

#include <cstddef>
#include <string>
#include <string_view>

#include <cpprest/json.h>

namespace tvo::Recording {

// Bodies past this are kept as size, SHA-256 and their first and last kEnds bytes.
constexpr std::size_t kWholeBodyLimit = std::size_t{64} * 1024;
constexpr std::size_t kEnds = std::size_t{4} * 1024;

bool IsValidUtf8(std::string_view bytes);
std::string Hex(std::string_view bytes);
// The bytes of hex text; false when it is not an even run of hex digits.
bool FromHex(std::string_view hex, std::string& bytes);
std::string Sha256Hex(std::string_view bytes);

// A string when the bytes are UTF-8, else {"hex": ...}.
web::json::value Bytes(std::string_view bytes);
// As Bytes, but past kWholeBodyLimit {"size", "sha256", "head", "tail"}.
web::json::value Body(std::string_view bytes);

// The bytes a recorded value stands for. A digest gives its size back: the
// head, the middle filled with spaces, the tail. False for a value that is
// none of these forms.
bool BytesOf(const web::json::value& value, std::string& bytes);

// Field access that never throws: the default when absent or of another type.
std::string StringField(const web::json::value& object, const char* name, const std::string& otherwise = {});
std::int64_t IntField(const web::json::value& object, const char* name, std::int64_t otherwise = 0);
bool BoolField(const web::json::value& object, const char* name, bool otherwise = false);
const web::json::value* Field(const web::json::value& object, const char* name);

// One line of JSON, as the recording keeps it.
std::string Line(const web::json::value& value);

}  // namespace tvo::Recording
