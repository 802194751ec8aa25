#include "ListenRegistry.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tvo {
namespace {

std::mutex registryMutex;
std::vector<std::pair<std::string, int>> entries;  // guarded by registryMutex

std::string Normalized(std::string host) {
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return std::tolower(c); });
    if (host == "localhost") {
        return "127.0.0.1";
    }
    if (host == "*" || host == "+") {
        return "0.0.0.0";
    }
    return host;
}

bool Clashes(const std::string& a, const std::string& b) {
    return a == b || a == "0.0.0.0" || b == "0.0.0.0";
}

}  // namespace

void ListenRegistry::Claim(const std::string& host, int port) {
    const std::string normalized = Normalized(host);
    std::lock_guard<std::mutex> lock(registryMutex);
    for (const auto& entry : entries) {
        if (entry.second == port && Clashes(entry.first, normalized)) {
            throw std::runtime_error("address in use: another HttpServer of this process listens on " + entry.first +
                                     ":" + std::to_string(port));
        }
    }
    entries.emplace_back(normalized, port);
}

void ListenRegistry::Release(const std::string& host, int port) {
    const std::string normalized = Normalized(host);
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto found = std::find(entries.begin(), entries.end(), std::make_pair(normalized, port));
    if (found != entries.end()) {
        entries.erase(found);
    }
}

}  // namespace tvo
