// Hosts-file entries that make the dock and its proxy reachable by fixed names.
// Each of our names has one entry, the latest: an earlier dock's address,
// listed first, would be tried first and waited out on every connection.

#include "DockProtoPallixImpl.h"

#include <FileSystem/SafeFile.h>
#include <Logger/LogClient.h>

#include <arpa/inet.h>
#include <sys/stat.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tvo {
namespace {

constexpr std::string_view kComment = "# Pallix address";
// A hosts file is a few kilobytes; anything far larger is not one to rewrite.
constexpr std::size_t kMaxHostsFileSize = std::size_t{4} * 1024 * 1024;

bool AllOf(const std::string& text, bool (*allowed)(unsigned char)) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [allowed](char c) { return allowed(static_cast<unsigned char>(c)); });
}

bool IsAddressByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' || c == ':';
}

bool IsNameByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Judged over every byte: inet_pton alone stops at a NUL and would pass what
// follows it into the file.
bool IsAddressLiteral(const std::string& text) {
    if (!AllOf(text, IsAddressByte)) {
        return false;
    }
    in6_addr scratch{};
    return inet_pton(AF_INET, text.c_str(), &scratch) == 1 || inet_pton(AF_INET6, text.c_str(), &scratch) == 1;
}

// Text from the network, shown in a log line without breaking it.
std::string Shown(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string shown = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            shown += "\\x";
            shown += hex[c >> 4];
            shown += hex[c & 0xF];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown + "\"";
}

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome ReadHostsFile(const FileCalls& calls, const std::string& path, std::string& content) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) {
        return ReadOutcome::Missing;
    }
    const FileDescriptor file = OpenRegularFile(path, calls);
    if (!file.IsOpen()) {
        return ReadOutcome::Failed;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t got = calls.read(file.Get(), buffer, sizeof buffer);
        if (got == 0) {
            return ReadOutcome::Read;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadOutcome::Failed;
        }
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > kMaxHostsFileSize) {
            return ReadOutcome::Failed;
        }
    }
}

}  // namespace

bool DockProtoPallixImpl::IsWritableEntry(const std::string& address, const std::string& hostName) {
    return IsAddressLiteral(address) && AllOf(hostName, IsNameByte);
}

std::string DockProtoPallixImpl::WithoutEntriesFor(std::string_view content, std::string_view hostName) {
    // Lines with their newline; the last may lack one.
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const auto end = content.find('\n');
        const auto length = end == std::string_view::npos ? content.size() : end + 1;
        lines.push_back(content.substr(0, length));
        content.remove_prefix(length);
    }
    auto body = [](std::string_view line) {
        return line.substr(0, line.size() - (!line.empty() && line.back() == '\n' ? 1 : 0));
    };
    auto isOurEntry = [&](std::string_view line) {
        const std::string_view entry = body(line);
        const auto tab = entry.find('\t');
        return tab != std::string_view::npos && entry.substr(tab + 1) == hostName;
    };
    std::vector<bool> dropped(lines.size(), false);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (body(lines[i]) != kComment || !isOurEntry(lines[i + 1])) {
            continue;
        }
        dropped[i] = dropped[i + 1] = true;
        // The empty line the block began with, when it made one.
        if (i > 0 && lines[i - 1] == "\n" && !dropped[i - 1]) {
            dropped[i - 1] = true;
        }
    }
    std::string kept;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!dropped[i]) {
            kept.append(lines[i]);
        }
    }
    return kept;
}

bool DockProtoPallixImpl::AddHostName(const std::string& address, const std::string& hostName) const {
    if (!IsAddressLiteral(address)) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock)
            << "Refused to add " << Shown(hostName) << " to " << settings.hostsFile << ": the address "
            << Shown(address) << " is not an IP address";
        return false;
    }
    if (!AllOf(hostName, IsNameByte)) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock)
            << "Refused to add " << Shown(hostName) << " to " << settings.hostsFile << ": not a plain host name";
        return false;
    }
    std::string content;
    if (ReadHostsFile(*fileCalls, settings.hostsFile, content) == ReadOutcome::Failed) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to open " << settings.hostsFile;
        return false;
    }
    // The leading newline keeps the entry whole after a last line without one.
    const std::string updated =
        WithoutEntriesFor(content, hostName) + "\n" + std::string(kComment) + "\n" + address + '\t' + hostName + '\n';
    ReplaceOptions system;
    system.mode = 0644;
    system.keepOwnerAndMode = true;
    system.rewriteInPlace = true;
    system.calls = fileCalls;
    std::string error;
    if (!ReplaceFile(settings.hostsFile, updated, system, error)) {
        PMX_LOG(LogLevel::Error, kLogCategoryDock) << "Failed to open " << settings.hostsFile;
        PMX_LOG(LogLevel::Detail, kLogCategoryDock) << error;
        return false;
    }
    PMX_LOG(LogLevel::Info, kLogCategoryDock) << "Added " << hostName << " to " << settings.hostsFile;
    return true;
}

}  // namespace tvo
