#pragma once
// The state of a DockProtoPallix and the three pieces of its work: hearing
// the dock's hello, appending hosts-file entries and the open request.

#include <Common/Mutex.h>
#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/ProtocolEnvironment.h>

#include <pplx/pplxtasks.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace web::http {
class http_response;
}

namespace tvo {

class DockProtoPallixImpl {
public:
    explicit DockProtoPallixImpl(const ProtocolEnvironment& environment);

    // Waits about 1.2 s for the hello datagram, enters the sender under the
    // dock host name and learns the agent port.
    DockProtoIF::ReturnCode SayHello();
    // Up to three open requests to the dock's agent.
    DockProtoIF::Result<DockProtoIF::ServerInfo> GetServerInfo();
    // Stops a GetServerInfo running on another thread; harmless otherwise.
    void Cancel() PMX_EXCLUDES(mutex);

    // Enters the address under the name at the end of the hosts file, in
    // place of the entries written earlier for that name; every other line
    // stays as it is. The address must be an IPv4 or IPv6 literal and the
    // name plain letters, digits, dots and hyphens: both may come from the
    // network, and the file is a system file.
    bool AddHostName(const std::string& address, const std::string& hostName) const;
    static bool IsWritableEntry(const std::string& address, const std::string& hostName);
    // The hosts text without the blocks written for the name.
    static std::string WithoutEntriesFor(std::string_view content, std::string_view hostName);

    // The agent port of a hello text, or nothing when the text is not a
    // hello (no magic, or no port field).
    static std::optional<std::string> ParseHello(std::string_view text);
    // 1 to 5 digits naming a port from 1 to 65535.
    static bool IsAgentPort(std::string_view text);

    std::string serialNumber;
    std::string agentPort;  // empty, or a valid port number

private:
    // What Cancel() cancels: the source of the GetServerInfo under way, or null.
    void SetCancellationSource(std::shared_ptr<pplx::cancellation_token_source> source) PMX_EXCLUDES(mutex);
    // Reads the open answer into info; false when the attempt failed without
    // an exception (status, hosts entry).
    pplx::task<bool> HandleOpenResponse(const web::http::http_response& response, DockProtoIF::ServerInfo& info) const;
    bool ReadOpenAnswer(const std::string& body, DockProtoIF::ServerInfo& info) const;

    PallixEnvironment settings;
    TransportEnvironment transport;
    std::function<void(std::chrono::nanoseconds)> sleep;
    std::shared_ptr<const FileCalls> fileCalls;

    // Orders Cancel() on another thread against the storing and clearing of the source.
    Mutex mutex;
    std::shared_ptr<pplx::cancellation_token_source> cancellationSource PMX_GUARDED_BY(mutex);
};

}  // namespace tvo
