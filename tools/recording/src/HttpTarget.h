#pragma once
// The target a client's request goes to, as a recording keeps it: the path
// of the client's base address extended by the request's path and query.

#include <string>

namespace tvo::Recording {

struct HttpTarget {
    // "http://host:port/path": host "host:port", path "/path" ("/" when none).
    explicit HttpTarget(const std::string& baseUri) {
        const std::size_t scheme = baseUri.find("://");
        const std::size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
        const std::size_t pathStart = baseUri.find('/', hostStart);
        host = baseUri.substr(hostStart, pathStart == std::string::npos ? std::string::npos : pathStart - hostStart);
        basePath = pathStart == std::string::npos ? "/" : baseUri.substr(pathStart);
    }

    // "?type=x" and "/a" extend the base path as the client sends them.
    std::string Of(const std::string& pathAndQuery) const {
        if (pathAndQuery.empty() || pathAndQuery[0] == '?') {
            return basePath + pathAndQuery;
        }
        const bool slash = !basePath.empty() && basePath.back() == '/';
        return slash ? basePath + pathAndQuery.substr(1) : basePath + pathAndQuery;
    }

    std::string host;
    std::string basePath;
};

}  // namespace tvo::Recording
