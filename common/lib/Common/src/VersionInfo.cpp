#include "Common/VersionInfo.h"

#include "Common/FileLocations.h"
#include "Logger/LogClient.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>

namespace tvo {
namespace {

constexpr std::size_t kTarBlockSize = 512;
constexpr std::size_t kTarMagicOffset = 257;
constexpr std::string_view kTarMagic = "ustar";                  // followed by NUL (POSIX) or blank (GNU)
constexpr std::size_t kMaxVersionFile = std::size_t{64} * 1024;  // a few lines; more is not a version file

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string_view KeyOf(VersionInfo::Field field) {
    switch (field) {
        case VersionInfo::Field::Name: return "name";
        case VersionInfo::Field::Build: return "build";
        case VersionInfo::Field::Version: return "version";
        case VersionInfo::Field::Location: return "location";
    }
    return {};
}

// Every key=value pair of the file; the first occurrence of a key wins.
std::map<std::string, std::string, std::less<>> ReadFields(std::string_view path) {
    std::map<std::string, std::string, std::less<>> fields;
    // "e": close-on-exec, which a stream cannot ask for.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(std::string(path).c_str(), "re"),
                                                               &std::fclose);
    if (!file) {
        PMX_LOG(LogLevel::Detail, kLogCategoryDock) << "version file " << path << " cannot be read";
        return fields;
    }
    std::string text;
    std::array<char, 4096> chunk{};
    for (std::size_t got;
         text.size() < kMaxVersionFile && (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;) {
        text.append(chunk.data(), got);
    }
    std::istringstream in(text.substr(0, kMaxVersionFile));
    for (std::string line; std::getline(in, line);) {
        // A value is used as a path: with a NUL in it the system would see
        // a different, shorter one.
        if (line.find('\0') != std::string::npos) {
            PMX_LOG(LogLevel::Warning, kLogCategoryDock)
                << "version file " << path << ": a line with a NUL byte is ignored";
            continue;
        }
        const std::string_view content = Trim(line);
        const auto equals = content.find('=');
        if (content.empty() || content.front() == '#' || equals == std::string_view::npos) {
            continue;
        }
        fields.emplace(std::string(Trim(content.substr(0, equals))), std::string(Trim(content.substr(equals + 1))));
    }
    return fields;
}

}  // namespace

std::string VersionInfo::GetField(Field field, std::string_view path) {
    const std::string_view key = KeyOf(field);
    if (key.empty()) {
        PMX_LOG(LogLevel::Warning, kLogCategoryDock) << "unknown version field " << static_cast<int>(field);
        return {};
    }
    const auto fields = ReadFields(path);
    const auto found = fields.find(key);
    return found == fields.end() ? std::string() : found->second;
}

std::string VersionInfo::GetVersionAndBuildNumberText(std::string_view path) {
    const std::string file = path.empty() ? CameraVersionFile() : std::string(path);
    const auto fields = ReadFields(file);
    const auto version = fields.find(KeyOf(Field::Version));
    const auto build = fields.find(KeyOf(Field::Build));
    std::string text = version == fields.end() ? std::string() : version->second;
    if (build != fields.end() && !build->second.empty()) {
        if (!text.empty()) {
            text += ' ';
        }
        text += "(build " + build->second + ")";
    }
    return text;
}

bool VersionInfo::IsTarFileCheck(std::ifstream& stream) {
    if (!stream.is_open()) {
        return false;
    }
    const std::ios::iostate savedState = stream.rdstate();
    stream.clear();
    const std::streampos savedPosition = stream.tellg();

    std::array<char, kTarBlockSize> header{};
    stream.seekg(0, std::ios::beg);
    stream.read(header.data(), header.size());
    const bool whole = stream.gcount() == static_cast<std::streamsize>(header.size());
    const bool isTar = whole && std::memcmp(header.data() + kTarMagicOffset, kTarMagic.data(), kTarMagic.size()) == 0;

    stream.clear();
    if (savedPosition != std::streampos(-1)) {
        stream.seekg(savedPosition);
    }
    stream.clear(savedState);
    return isTar;
}

bool VersionInfo::IsTarFileCheck(int fd) {
    std::array<char, kTarBlockSize> header{};
    std::size_t filled = 0;
    while (fd >= 0 && filled < header.size()) {
        const ssize_t got = ::pread(fd, header.data() + filled, header.size() - filled, static_cast<off_t>(filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled == header.size() &&
           std::memcmp(header.data() + kTarMagicOffset, kTarMagic.data(), kTarMagic.size()) == 0;
}

}  // namespace tvo
