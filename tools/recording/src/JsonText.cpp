#include "JsonText.h"

#include <Common/Utf8.h>

#include <openssl/evp.h>

#include <array>
#include <memory>

namespace tvo::Recording {

bool IsValidUtf8(std::string_view bytes) {
    // The repair leaves valid text as it is, and only that.
    return tvo::ToValidUtf8(bytes) == bytes;
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool FromHex(std::string_view hex, std::string& bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = Nibble(hex[i]);
        const int low = Nibble(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes += static_cast<char>(high << 4 | low);
    }
    return true;
}

std::string Sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        return {};
    }
    return Hex(std::string_view(reinterpret_cast<const char*>(digest.data()), length));
}

web::json::value Bytes(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return web::json::value::string(std::string(bytes));
    }
    web::json::value hex = web::json::value::object();
    hex["hex"] = web::json::value::string(Hex(bytes));
    return hex;
}

web::json::value Body(std::string_view bytes) {
    if (bytes.size() <= kWholeBodyLimit) {
        return Bytes(bytes);
    }
    web::json::value digest = web::json::value::object();
    digest["size"] = web::json::value::number(static_cast<std::uint64_t>(bytes.size()));
    digest["sha256"] = web::json::value::string(Sha256Hex(bytes));
    // Cut at the byte count; a sequence cut in two turns the end into hex.
    digest["head"] = Bytes(bytes.substr(0, kEnds));
    digest["tail"] = Bytes(bytes.substr(bytes.size() - kEnds));
    return digest;
}

bool BytesOf(const web::json::value& value, std::string& bytes) {
    if (value.is_string()) {
        bytes = value.as_string();
        return true;
    }
    if (!value.is_object()) {
        return false;
    }
    if (const auto* hex = Field(value, "hex")) {
        return hex->is_string() && FromHex(hex->as_string(), bytes);
    }
    const auto* head = Field(value, "head");
    const auto* tail = Field(value, "tail");
    const std::int64_t size = IntField(value, "size", -1);
    std::string first;
    std::string last;
    if (!head || !tail || size < 0 || !BytesOf(*head, first) || !BytesOf(*tail, last)) {
        return false;
    }
    // A recording states the size; it is bounded by what a reply may bring.
    constexpr std::int64_t kLargest = std::int64_t{256} * 1024 * 1024;
    if (size > kLargest || first.size() + last.size() > static_cast<std::size_t>(size)) {
        return false;
    }
    bytes = first;
    bytes.append(static_cast<std::size_t>(size) - first.size() - last.size(), ' ');
    bytes += last;
    return true;
}

const web::json::value* Field(const web::json::value& object, const char* name) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto& fields = object.as_object();
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : &found->second;
}

std::string StringField(const web::json::value& object, const char* name, const std::string& otherwise) {
    const auto* field = Field(object, name);
    return field && field->is_string() ? field->as_string() : otherwise;
}

std::int64_t IntField(const web::json::value& object, const char* name, std::int64_t otherwise) {
    const auto* field = Field(object, name);
    if (!field || !field->is_number()) {
        return otherwise;
    }
    const auto& number = field->as_number();
    if (number.is_int64()) {
        return number.to_int64();
    }
    return otherwise;
}

bool BoolField(const web::json::value& object, const char* name, bool otherwise) {
    const auto* field = Field(object, name);
    return field && field->is_boolean() ? field->as_bool() : otherwise;
}

std::string Line(const web::json::value& value) {
    return value.serialize();
}

}  // namespace tvo::Recording
