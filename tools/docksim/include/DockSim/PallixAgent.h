#pragma once
// The agent of an emulated Pallix dock: a real HTTP server that answers the
// camera's open requests, each with the next of a planned list of answers.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvo {
class HttpServerIF;
}

namespace tvo::DockSim {

enum class PallixAnswer {
    Full,                // every member, the URL type "HOSTNAME"
    Minimal,             // only the required members, the URL type in lower case
    Status201,           // a full body, but status 201
    Status204,           // status 204, no body
    Status500,           // status 500
    MissingMember,       // no "tenant_id"
    MistypedMember,      // "server_port" as a string
    MalformedJson,       // a body cut off in the middle
    HostileConnectHost,  // "connectHost" that would add further names to the hosts file
    NulConnectHost,      // the same behind an address and a NUL byte
    OutOfRangePort,      // "server_port" 1e300, past any integer
    Slow,                // the full answer, but only after a long wait
    Refused,             // the agent does not listen at all (first answer only)
};

struct PallixAnswerKind {
    PallixAnswer kind;
    std::string_view name;
    std::string_view description;
};

const std::vector<PallixAnswerKind>& PallixAnswerKinds();
std::string_view PallixAnswerName(PallixAnswer kind);
std::optional<PallixAnswer> ParsePallixAnswer(std::string_view name);

// What the camera's three attempts come to against a list of answers, when
// nobody cancels them: the result, the requests the agent sees and the
// pauses the camera makes.
struct PallixOpenForecast {
    bool succeeds = false;
    int requests = 0;
    int pauses = 0;
};
PallixOpenForecast ForecastOpen(const std::vector<PallixAnswer>& answers);

class InMemoryNetwork;

struct PallixAgentSetup {
    // The network the agent listens on; null: real loopback sockets.
    std::shared_ptr<InMemoryNetwork> network;
    std::string address = "127.0.0.1";                      // IPv4 address or host name to listen on
    int port = 0;                                           // 0: a free loopback port
    std::vector<PallixAnswer> answers{PallixAnswer::Full};  // in turn, the last one repeated
    std::chrono::milliseconds slowFor{10000};
    std::string connectHost = "::1";  // the proxy address handed to the camera
    int connectPort = 3128;
};

// The body of the full answer, as the camera should read it back.
struct PallixOfferedServer {
    std::string stationId = "STATION-7";
    std::string roomDescription = "Evidence room 2";
    std::string primaryUrl = "evidence.example.net";
    std::string secondaryUrl = "evidence-2.example.net";
    int port = 8443;
    std::string tenantId = "3f2b8c1e-9a4d-4c7b-8e21-5d6f7a8b9c0d";
};

class PallixAgent {
public:
    // Listens at once unless the first answer is Refused; throws
    // std::runtime_error when it cannot.
    explicit PallixAgent(PallixAgentSetup setup);
    // Lets slow answers go first, so that the server can stop.
    ~PallixAgent();
    PallixAgent(const PallixAgent&) = delete;
    PallixAgent& operator=(const PallixAgent&) = delete;

    int Port() const;
    bool Listening() const;
    // The bodies of the open requests received so far, in order.
    std::vector<std::string> Requests() const;
    // Waits until count requests have arrived; false when limit passed first.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
    // Slow answers waiting now, and later ones, go out at once.
    void ReleaseSlowAnswers();

    static PallixOfferedServer Offered();
    // The status and body of one answer.
    static std::pair<int, std::string> Answer(PallixAnswer kind, const PallixAgentSetup& setup);

    struct State;

private:
    std::shared_ptr<State> state;
    std::unique_ptr<HttpServerIF> server;
};

}  // namespace tvo::DockSim
