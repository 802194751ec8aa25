#include <DockSim/PallixAgent.h>

#include <DockSim/InMemoryNetwork.h>
#include <HttpRest/HttpServer.h>
#include <TestSupport/TestSupport.h>

#include <cpprest/json.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace tvo::DockSim {

struct PallixAgent::State {
    explicit State(PallixAgentSetup setup) : setup(std::move(setup)) {}

    const PallixAgentSetup setup;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::string> requests;
    bool released = false;
};

namespace {

web::json::value FullAnswer(const PallixAgentSetup& setup) {
    const PallixOfferedServer offered = PallixAgent::Offered();
    auto answer = web::json::value::object();
    answer["station_id"] = web::json::value::string(offered.stationId);
    answer["room_description"] = web::json::value::string(offered.roomDescription);
    answer["server_url_type"] = web::json::value::string("HOSTNAME");
    answer["server_primary_url"] = web::json::value::string(offered.primaryUrl);
    answer["server_secondary_url"] = web::json::value::string(offered.secondaryUrl);
    answer["server_port"] = web::json::value::number(offered.port);
    answer["tenant_id"] = web::json::value::string(offered.tenantId);
    answer["connectHost"] = web::json::value::string(setup.connectHost);
    answer["connectPort"] = web::json::value::number(setup.connectPort);
    // Members the camera does not know are ignored.
    answer["agent_version"] = web::json::value::string("sim-1.0");
    return answer;
}

web::json::value MinimalAnswer(const PallixAgentSetup& setup) {
    const PallixOfferedServer offered = PallixAgent::Offered();
    auto answer = web::json::value::object();
    answer["station_id"] = web::json::value::string(offered.stationId);
    answer["server_url_type"] = web::json::value::string("hostname");
    answer["server_primary_url"] = web::json::value::string("10.20.30.40");
    answer["server_port"] = web::json::value::number(offered.port);
    answer["tenant_id"] = web::json::value::string(offered.tenantId);
    answer["connectHost"] = web::json::value::string(setup.connectHost);
    answer["connectPort"] = web::json::value::number(setup.connectPort);
    return answer;
}

bool Accepted(PallixAnswer kind) {
    return kind == PallixAnswer::Full || kind == PallixAnswer::Minimal || kind == PallixAnswer::Slow;
}

// Answers that make the camera's attempt end in an exception, and so a pause.
bool Throws(PallixAnswer kind) {
    return kind == PallixAnswer::MissingMember || kind == PallixAnswer::MistypedMember ||
           kind == PallixAnswer::OutOfRangePort || kind == PallixAnswer::MalformedJson || kind == PallixAnswer::Refused;
}

}  // namespace

const std::vector<PallixAnswerKind>& PallixAnswerKinds() {
    static const std::vector<PallixAnswerKind> kinds{
        {PallixAnswer::Full, "full", "every member, URL type \"HOSTNAME\""},
        {PallixAnswer::Minimal, "minimal", "only the required members, URL type in lower case"},
        {PallixAnswer::Status201, "status-201", "a full body with status 201"},
        {PallixAnswer::Status204, "status-204", "status 204 without a body"},
        {PallixAnswer::Status500, "status-500", "status 500"},
        {PallixAnswer::MissingMember, "missing-member", "no \"tenant_id\""},
        {PallixAnswer::MistypedMember, "mistyped-member", "\"server_port\" as a string"},
        {PallixAnswer::MalformedJson, "malformed-json", "a body cut off in the middle"},
        {PallixAnswer::HostileConnectHost, "hostile-connect-host", "\"connectHost\" carrying further hosts-file lines"},
        {PallixAnswer::NulConnectHost, "nul-connect-host",
         "\"connectHost\" an address, a NUL byte, then further hosts-file lines"},
        {PallixAnswer::OutOfRangePort, "out-of-range-port", "\"server_port\" 1e300"},
        {PallixAnswer::Slow, "slow", "the full answer after a long wait"},
        {PallixAnswer::Refused, "refused", "nothing listens on the agent port (first answer only)"},
    };
    return kinds;
}

std::string_view PallixAnswerName(PallixAnswer kind) {
    for (const auto& known : PallixAnswerKinds()) {
        if (known.kind == kind) {
            return known.name;
        }
    }
    return "?";
}

std::optional<PallixAnswer> ParsePallixAnswer(std::string_view name) {
    for (const auto& known : PallixAnswerKinds()) {
        if (known.name == name) {
            return known.kind;
        }
    }
    return std::nullopt;
}

PallixOpenForecast ForecastOpen(const std::vector<PallixAnswer>& answers) {
    PallixOpenForecast forecast;
    const bool refused = !answers.empty() && answers.front() == PallixAnswer::Refused;
    for (std::size_t attempt = 0; attempt < 3; ++attempt) {
        const PallixAnswer answer =
            refused ? PallixAnswer::Refused
                    : (answers.empty() ? PallixAnswer::Full : answers[std::min(attempt, answers.size() - 1)]);
        forecast.requests += refused ? 0 : 1;
        if (Accepted(answer)) {
            forecast.succeeds = true;
            break;
        }
        forecast.pauses += Throws(answer) ? 1 : 0;
    }
    return forecast;
}

PallixOfferedServer PallixAgent::Offered() {
    return {};
}

std::pair<int, std::string> PallixAgent::Answer(PallixAnswer kind, const PallixAgentSetup& setup) {
    switch (kind) {
        case PallixAnswer::Full:
        case PallixAnswer::Slow: return {200, FullAnswer(setup).serialize()};
        case PallixAnswer::Minimal: return {200, MinimalAnswer(setup).serialize()};
        case PallixAnswer::Status201: return {201, FullAnswer(setup).serialize()};
        case PallixAnswer::Status204: return {204, ""};
        case PallixAnswer::Status500: return {500, R"({"error":"agent not ready"})"};
        case PallixAnswer::MissingMember: {
            auto answer = FullAnswer(setup);
            answer.erase("tenant_id");
            return {200, answer.serialize()};
        }
        case PallixAnswer::MistypedMember: {
            auto answer = FullAnswer(setup);
            answer["server_port"] = web::json::value::string("8443");
            return {200, answer.serialize()};
        }
        case PallixAnswer::MalformedJson: {
            const std::string whole = FullAnswer(setup).serialize();
            return {200, whole.substr(0, whole.size() / 2)};
        }
        case PallixAnswer::HostileConnectHost: {
            auto answer = FullAnswer(setup);
            answer["connectHost"] = web::json::value::string("10.9.8.7 mail.example\n10.9.8.7\tbank.example");
            return {200, answer.serialize()};
        }
        case PallixAnswer::NulConnectHost: {
            auto answer = FullAnswer(setup);
            answer["connectHost"] = web::json::value::string(std::string("10.1.2.3\0\n10.9.8.7\tbank.example\t#", 33));
            return {200, answer.serialize()};
        }
        case PallixAnswer::OutOfRangePort: {
            auto answer = FullAnswer(setup);
            answer["server_port"] = web::json::value::number(1e300);
            return {200, answer.serialize()};
        }
        case PallixAnswer::Refused: break;
    }
    return {500, ""};
}

PallixAgent::PallixAgent(PallixAgentSetup setup) {
    if (setup.port == 0) {
        setup.port = setup.network ? setup.network->FreePort() : FreeTcpPort();
    }
    state = std::make_shared<State>(std::move(setup));
    const auto& planned = state->setup.answers;
    if (!planned.empty() && planned.front() == PallixAnswer::Refused) {
        return;
    }
    const HttpServerOptions where{state->setup.address, state->setup.port, "emapi"};
    server = state->setup.network ? state->setup.network->MakeServer(where) : MakeHttpServer(where);
    std::weak_ptr<State> weak = state;
    server->setMessageHandler(
        [weak](const std::string& uri, const std::string& body) -> std::pair<HttpServer::StatusCode, std::string> {
            auto self = weak.lock();
            if (!self || HttpServer::getUriPath(uri) != "open") {
                return {HttpServer::NotFound, ""};
            }
            PallixAnswer kind = PallixAnswer::Full;
            {
                std::unique_lock<std::mutex> lock(self->mutex);
                const auto& answers = self->setup.answers;
                if (!answers.empty()) {
                    kind = answers[std::min(self->requests.size(), answers.size() - 1)];
                }
                self->requests.push_back(body);
                self->changed.notify_all();
                if (kind == PallixAnswer::Slow) {
                    self->changed.wait_for(lock, self->setup.slowFor, [&self] { return self->released; });
                }
            }
            const auto [status, text] = Answer(kind, self->setup);
            return {static_cast<HttpServer::StatusCode>(status), text};
        },
        HttpServer::HandlerMethodType::Post);
    server->listen();
}

PallixAgent::~PallixAgent() {
    ReleaseSlowAnswers();
    server.reset();
}

int PallixAgent::Port() const {
    return state->setup.port;
}

bool PallixAgent::Listening() const {
    return server != nullptr;
}

std::vector<std::string> PallixAgent::Requests() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->requests;
}

bool PallixAgent::WaitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->changed.wait_for(lock, limit, [&] { return state->requests.size() >= count; });
}

void PallixAgent::ReleaseSlowAnswers() {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->released = true;
    state->changed.notify_all();
}

}  // namespace tvo::DockSim
