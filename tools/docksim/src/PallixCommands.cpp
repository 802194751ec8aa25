// docksim's Pallix command: play the dock for a camera elsewhere -- hello
// datagrams on the link and the agent answering open requests.

#include "Commands.h"

#include <DockSim/PallixAgent.h>
#include <DockSim/PallixHello.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

namespace tvo::DockSim {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

struct PallixOptions {
    std::string to = "::1";
    int discoveryPort = 9009;
    std::string hello = "well-formed";
    long everyMs = 500;
    long delayMs = -1;
    std::string listen = "127.0.0.1";
    int agentPort = 0;
    std::vector<std::string> answers;
    std::string connectHost = "::1";
    int connectPort = 3128;
    long slowMs = 10000;
    long seconds = 30;
    bool list = false;
};

// Datagram bytes as a person can read them.
std::string Printable(const std::string& bytes) {
    std::string shown;
    for (unsigned char c : bytes) {
        if (c == 0) {
            shown += "\\0";
        } else if (c < 0x20 || c >= 0x7f) {
            shown += '?';
        } else {
            shown += static_cast<char>(c);
        }
    }
    if (shown.size() > 120) {
        shown = shown.substr(0, 60) + "..." + shown.substr(shown.size() - 40) + " (" + std::to_string(bytes.size()) +
                " bytes)";
    }
    return shown;
}

void ListKinds() {
    std::cout << "hello kinds (--hello):\n";
    for (const auto& kind : PallixHelloKinds()) {
        std::cout << "  " << kind.name << ": " << kind.description << '\n';
    }
    std::cout << "answer kinds (--answer, in turn, the last one repeated):\n";
    for (const auto& kind : PallixAnswerKinds()) {
        std::cout << "  " << kind.name << ": " << kind.description << '\n';
    }
}

int PlayDock(const PallixOptions& options) {
    if (options.list) {
        ListKinds();
        return 0;
    }
    const PallixHello hello = *ParsePallixHello(options.hello);
    PallixAgentSetup agentSetup;
    agentSetup.address = options.listen;
    agentSetup.port = options.agentPort;
    agentSetup.connectHost = options.connectHost;
    agentSetup.connectPort = options.connectPort;
    agentSetup.slowFor = std::chrono::milliseconds(options.slowMs);
    agentSetup.answers.clear();
    for (const auto& name : options.answers) {
        agentSetup.answers.push_back(*ParsePallixAnswer(name));
    }
    if (agentSetup.answers.empty()) {
        agentSetup.answers.push_back(PallixAnswer::Full);
    }

    PallixAgent agent(agentSetup);
    std::string plan;
    for (const auto answer : agentSetup.answers) {
        plan += (plan.empty() ? "" : ", ") + std::string(PallixAnswerName(answer));
    }
    if (agent.Listening()) {
        std::cout << "agent: http://" << options.listen << ':' << agent.Port() << "/emapi/open answers " << plan
                  << '\n';
    } else {
        std::cout << "agent: nothing listens on port " << agent.Port() << " (refused)\n";
    }

    const PallixHelloSender sender(options.to, options.discoveryPort);
    const std::string datagram = PallixHelloDatagram(hello, agent.Port());
    std::cout << "hello (" << options.hello << ") to " << options.to << " port " << options.discoveryPort << ": "
              << (datagram.empty() ? "none" : Printable(datagram)) << '\n'
              << std::flush;

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(options.seconds);
    const long delayMs = options.delayMs >= 0 ? options.delayMs : (hello == PallixHello::Late ? 1500 : 0);
    auto nextHello = start + std::chrono::milliseconds(delayMs);
    int hellos = 0;
    std::size_t reported = 0;
    while (!stopRequested) {
        const auto now = Clock::now();
        if (!datagram.empty() && now >= nextHello) {
            sender.Send(datagram);
            ++hellos;
            nextHello = now + std::chrono::milliseconds(options.everyMs);
        }
        const auto requests = agent.Requests();
        for (; reported < requests.size(); ++reported) {
            const auto answer = agentSetup.answers[std::min(reported, agentSetup.answers.size() - 1)];
            std::cout << "open request " << reported + 1 << ": " << requests[reported] << " -> "
                      << PallixAnswerName(answer) << '\n'
                      << std::flush;
        }
        // Seconds 0: one hello, then stop.
        if (now >= end && (hellos > 0 || datagram.empty())) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::cout << "hellos sent: " << hellos << ", open requests: " << reported << '\n';
    return 0;
}

}  // namespace

void AddPallixCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<PallixOptions>();
    std::vector<std::string> helloNames, answerNames;
    for (const auto& kind : PallixHelloKinds()) {
        helloNames.emplace_back(kind.name);
    }
    for (const auto& kind : PallixAnswerKinds()) {
        answerNames.emplace_back(kind.name);
    }

    auto* pallix = app.add_subcommand(
        "pallix", "play a Pallix dock: hello datagrams on the link and the agent answering open requests");
    pallix->add_flag("--list", options->list, "list the hello and answer kinds and stop");
    pallix->add_option("--hello", options->hello, "which hello to send")
        ->check(CLI::IsMember(helloNames))
        ->capture_default_str();
    pallix
        ->add_option("--to", options->to, "numeric address the hellos go to, with a scope where needed (ff02::1%base0)")
        ->capture_default_str();
    pallix->add_option("--discovery-port", options->discoveryPort, "the camera's discovery port")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    pallix->add_option("--every-ms", options->everyMs, "pause between hellos")
        ->check(CLI::Range(10L, 60000L))
        ->capture_default_str();
    pallix->add_option("--delay-ms", options->delayMs, "wait before the first hello (default 0, late: 1500)")
        ->check(CLI::Range(0L, 60000L));
    pallix->add_option("--listen", options->listen, "IPv4 address or host name the agent listens on")
        ->capture_default_str();
    pallix->add_option("--agent-port", options->agentPort, "the agent's port (default: a free one)")
        ->check(CLI::Range(0, 65535));
    pallix->add_option("--answer", options->answers, "the agent's answers in turn, the last repeated (default full)")
        ->check(CLI::IsMember(answerNames));
    pallix->add_option("--connect-host", options->connectHost, "proxy address in the answer")->capture_default_str();
    pallix->add_option("--connect-port", options->connectPort, "proxy port in the answer")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    pallix->add_option("--slow-ms", options->slowMs, "how long a slow answer waits")
        ->check(CLI::Range(0L, 600000L))
        ->capture_default_str();
    pallix->add_option("--seconds", options->seconds, "how long to play the dock (0: one hello)")
        ->check(CLI::Range(0L, 86400L))
        ->capture_default_str();
    pallix->callback([&status, options] {
        try {
            status = PlayDock(*options);
        } catch (const std::exception& error) {
            std::cerr << "docksim: " << error.what() << '\n';
            status = 1;
        }
    });
}

}  // namespace tvo::DockSim
