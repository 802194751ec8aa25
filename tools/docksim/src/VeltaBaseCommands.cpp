// docksim velta: the emulated Velta base on its own, for a camera (or a
// dockhost) to talk to, with the misbehaviour a field problem needs and every
// exchange printed as it happens.

#include "Commands.h"

#include <DockSim/VeltaBase.h>
#include <TestSupport/TestSupport.h>

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace tvo::DockSim {
namespace {

struct VeltaOptions {
    std::string listen = "192.168.99.1:55006";
    std::string camera = "192.168.99.2:55006";
    std::string version = "4.2.0";
    std::string apiVersion = "1.0";
    std::string room = "Dispatch Room 2";
    std::string station = "Velta Station 7";
    int approveAfter = 1;
    bool neverApprove = false;
    bool reject = false;
    bool mqtt = false;
    std::string approvalFault = "none";
    std::vector<std::string> replies;
    std::vector<std::string> sends;
    long sendDelayMs = 0;
    double seconds = -1;
    std::size_t bodyChars = 160;
    std::string logFile;
    std::size_t logBytes = 0;
    std::string logDownload = "whole";
    std::string logReady = "\"LogReady\"";
};

// A generated base log in a private temporary folder, gone with the object.
class GeneratedLog {
public:
    explicit GeneratedLog(std::size_t bytes)
        : path(folder.file("base.log").string()), lines(GenerateBaseLog(path, bytes)) {}

    const TempDir folder;
    const std::string path;
    const std::size_t lines;
};

std::pair<std::string, int> HostAndPort(const std::string& text) {
    const auto colon = text.rfind(':');
    try {
        if (colon != std::string::npos && colon > 0) {
            std::size_t used = 0;
            const int port = std::stoi(text.substr(colon + 1), &used);
            if (used == text.size() - colon - 1 && port >= 0 && port <= 65535) {
                return {text.substr(0, colon), port};
            }
        }
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("bad address '" + text + "' (HOST:PORT, an IPv4 address)");
}

BodyFault FaultNamed(const std::string& name) {
    if (const auto fault = ParseBodyFault(name)) {
        return *fault;
    }
    throw std::invalid_argument("unknown body fault '" + name + "' (none, malformed, wrong-types, missing, huge)");
}

VeltaBaseSetup SetupFrom(const VeltaOptions& options) {
    VeltaBaseSetup setup;
    std::tie(setup.address, setup.port) = HostAndPort(options.listen);
    std::tie(setup.cameraAddress, setup.cameraPort) = HostAndPort(options.camera);
    if (setup.cameraPort == 0) {
        throw std::invalid_argument("the camera's port must be given");
    }
    setup.version = options.version;
    setup.apiVersion = options.apiVersion;
    setup.room = options.room;
    setup.station = options.station;
    setup.approveAfter = options.approveAfter;
    setup.approval = options.reject         ? ApprovalMode::Reject
                     : options.neverApprove ? ApprovalMode::Never
                                            : ApprovalMode::AfterAnnouncements;
    setup.grant.withMqtt = options.mqtt;
    setup.approvalFault = FaultNamed(options.approvalFault);
    const auto download = ParseLogDownload(options.logDownload);
    if (!download) {
        throw std::invalid_argument("unknown log download '" + options.logDownload +
                                    "' (whole, half-way, garbage, missing)");
    }
    setup.logDownload = *download;
    setup.logReadyReply = options.logReady;
    setup.baseLogFile = options.logFile;
    for (const auto& reply : options.replies) {
        const auto equals = reply.find('=');
        const auto script = equals == std::string::npos ? std::nullopt : ParseReplyScript(reply.substr(equals + 1));
        if (!script) {
            throw std::invalid_argument("bad reply '" + reply +
                                        "' (TYPE=slow:MS, TYPE=STATUS, TYPE=close, TYPE=never, TYPE=trickle:MS, "
                                        "TYPE=cut-body, TYPE=untyped or TYPE=<body fault>)");
        }
        setup.replies[reply.substr(0, equals)] = *script;
    }
    return setup;
}

int Number(const std::string& action, const std::string& text) {
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size()) {
            return value;
        }
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("bad number in '" + action + "'");
}

// One of the base's requests, as named on the command line.
void SendAction(VeltaBase& base, const std::string& action) {
    const auto colon = action.find(':');
    const std::string verb = action.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : action.substr(colon + 1);
    if (verb == "approval") {
        base.SendApproval(rest.empty() ? BodyFault::None : FaultNamed(rest));
    } else if (verb == "charge") {
        ChargeReport report;
        const auto second = rest.find(':');
        report.fault = rest.empty() ? 0 : Number(action, rest.substr(0, second));
        report.ntcFault = second == std::string::npos ? 0 : Number(action, rest.substr(second + 1));
        base.SendChargeStatus(report);
    } else if (verb == "ignition") {
        base.SendIgnitionState(Number(action, rest));
    } else if (verb == "shutdown-state") {
        base.SendShutdownState(Number(action, rest));
    } else if (verb == "shutdown-now") {
        base.SendShutdownNow();
    } else if (verb == "terminate") {
        base.SendTerminateBackend();
    } else if (verb == "unknown") {
        base.Send("PUT", "?type=" + (rest.empty() ? std::string("no_such_message") : rest), "{}");
    } else if (verb == "hang-up") {
        base.SendAndHangUp("?type=charge_status", "{\"msg_type\":\"charge_status\"");
    } else {
        throw std::invalid_argument("unknown action '" + action +
                                    "' (approval[:FAULT], charge[:F[:NTC]], ignition:N, shutdown-state:N, "
                                    "shutdown-now, terminate, unknown[:TYPE], hang-up)");
    }
}

// Runs until the time is over or SIGINT/SIGTERM arrives. The signals are
// blocked before any thread starts, so that only this wait takes them.
int Serve(const VeltaOptions& options) {
    VeltaBaseSetup setup = SetupFrom(options);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<GeneratedLog> generated;
    if (options.logFile.empty() && options.logBytes > 0) {
        generated = std::make_unique<GeneratedLog>(options.logBytes);
        setup.baseLogFile = generated->path;
        std::cout << "base log: " << generated->path << ", " << generated->lines << " lines, tick stamps "
                  << BaseLogTick(0) << " to " << BaseLogTick(generated->lines - 1) << std::endl;
    }
    VeltaBase base(setup);
    const std::size_t bodyChars = options.bodyChars;
    base.Watch([bodyChars](const Exchange& exchange) { std::cout << Describe(exchange, bodyChars) << std::endl; });
    std::cout << "velta base listening on " << setup.address << ':' << base.Port() << '/' << setup.path
              << ", camera expected at " << setup.cameraAddress << ':' << base.CameraPort() << std::endl;
    if (!options.sends.empty() && options.sendDelayMs > 0) {
        const timespec delay{options.sendDelayMs / 1000, (options.sendDelayMs % 1000) * 1000000L};
        if (sigtimedwait(&stopSignals, nullptr, &delay) > 0) {
            std::cout << base.Log().size() << " exchange(s)" << std::endl;
            return 0;
        }
    }
    for (const auto& action : options.sends) {
        SendAction(base, action);
    }
    double left = options.seconds;
    while (left != 0) {
        timespec tick{1, 0};
        if (left > 0 && left < 1) {
            tick = {0, static_cast<long>(left * 1e9)};
        }
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
            break;
        }
        if (left > 0) {
            left = left < 1 ? 0 : left - 1;
        }
    }
    std::cout << base.Log().size() << " exchange(s)" << std::endl;
    return 0;
}

}  // namespace

void AddVeltaCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<VeltaOptions>();
    auto* velta = app.add_subcommand("velta", "run an emulated Velta base until interrupted");
    velta->add_option("--listen", options->listen, "where the base listens, HOST:PORT (port 0: any)")
        ->capture_default_str();
    velta->add_option("--camera", options->camera, "the camera's inbound server, HOST:PORT")->capture_default_str();
    velta->add_option("--version", options->version, "version in the hello answer")->capture_default_str();
    velta->add_option("--api-version", options->apiVersion, "API version in the hello answer")->capture_default_str();
    velta->add_option("--room", options->room, "room in the server information")->capture_default_str();
    velta->add_option("--station", options->station, "station in the server information")->capture_default_str();
    velta->add_option("--approve-after", options->approveAfter, "approve from the N-th announcement on")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    velta->add_flag("--never-approve", options->neverApprove, "acknowledge announcements, never approve");
    velta->add_flag("--reject", options->reject, "answer announcements 403, never approve");
    velta->add_flag("--mqtt", options->mqtt, "approve with MQTT settings");
    velta
        ->add_option("--approval-fault", options->approvalFault,
                     "break the approval: none, malformed, wrong-types, missing, huge")
        ->capture_default_str();
    velta->add_option("--reply", options->replies,
                      "answer a message type badly: TYPE=slow:MS, TYPE=STATUS, TYPE=close, TYPE=never, "
                      "TYPE=trickle:MS (the body MS after the head), TYPE=cut-body (half the body, then hang up), "
                      "TYPE=untyped (no Content-Type), TYPE=malformed|wrong-types|missing|huge");
    velta->add_option("--log-file", options->logFile, "serve this file as the base's log");
    velta
        ->add_option("--log-bytes", options->logBytes,
                     "serve a generated log of about this many bytes, with tick stamps (without --log-file)")
        ->capture_default_str();
    velta
        ->add_option("--log-download", options->logDownload,
                     "how the log is served: whole, half-way (breaks off), garbage, missing (404)")
        ->capture_default_str();
    velta
        ->add_option("--log-ready", options->logReady,
                     "answer to the camera's log request; anything but \"LogReady\" keeps it waiting")
        ->capture_default_str();
    velta->add_option("--send", options->sends,
                      "send to the camera at start, in order: approval[:FAULT], charge[:F[:NTC]], ignition:N, "
                      "shutdown-state:N, shutdown-now, terminate, unknown[:TYPE], hang-up");
    velta->add_option("--send-delay", options->sendDelayMs, "milliseconds to wait before the --send requests")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    velta->add_option("--seconds", options->seconds, "stop after this long (default: when interrupted)");
    velta->add_option("--body-chars", options->bodyChars, "characters of each body shown")->capture_default_str();
    velta->callback([options, &status] {
        try {
            status = Serve(*options);
        } catch (const std::exception& error) {
            std::cerr << "docksim velta: " << error.what() << '\n';
            status = 1;
        }
    });
}

}  // namespace tvo::DockSim
