#pragma once
// Where an HttpClient sends: its base address taken apart once, and the text
// of each request made from it.

#include <optional>
#include <string>

#include <boost/asio/ip/address.hpp>

namespace tvo {

struct ClientTarget {
    std::string baseUri;  // as given, for messages
    std::string host;     // without brackets
    std::string port;     // decimal
    // The address itself when the host is an IP literal: no lookup needed.
    std::optional<boost::asio::ip::address> literal;
    std::string hostHeader;  // "host[:port]", brackets kept

    // Throws std::runtime_error when the address is unusable (no host,
    // another scheme than http, a bad port).
    static ClientTarget Parse(const std::string& baseUri);

    // The request target of the base address extended by pathAndQuery
    // ("?type=x", "/a/b"). Throws std::runtime_error for text that cannot
    // go on a request line.
    std::string TargetFor(const std::string& pathAndQuery) const;

    // The whole request: line, fields, body. A body goes as
    // application/json; its length is sent whenever there is one or the
    // method usually carries one.
    std::string RequestText(const std::string& method, const std::string& target, const std::string& body,
                            const std::string& userAgent) const;
};

}  // namespace tvo
