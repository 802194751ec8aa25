#pragma once
// A camera and an emulated base for the Velta tests. By default both meet on
// a fresh in-memory network: no socket, and every time limit spent on its
// virtual clock. OnLoopback() puts a setup on real loopback sockets instead.

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/RestHandle.h>
#include <DockProtocol/RestMessages.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/VeltaBase.h>

#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace tvo::velta_test {

using RC = DockProtoIF::ReturnCode;
using DockSim::Exchange;
using Direction = DockSim::Exchange::Direction;

// Long enough for any thread of the process to get its turn; only a fault
// makes a test wait this long.
constexpr std::chrono::seconds kThreadWait{10};

// The setup on a network of its own.
inline DockSim::VeltaBaseSetup InMemory(DockSim::VeltaBaseSetup setup = {}) {
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    return setup;
}

inline DockSim::VeltaBaseSetup NeverApproving() {
    DockSim::VeltaBaseSetup setup = InMemory();
    setup.approval = DockSim::ApprovalMode::Never;
    return setup;
}

inline DockSim::VeltaBaseSetup OnLoopback(DockSim::VeltaBaseSetup setup = NeverApproving()) {
    setup.network = nullptr;
    return setup;
}

// The base first, so that the camera goes away before it.
struct VeltaRig {
    explicit VeltaRig(DockSim::VeltaBaseSetup setup = NeverApproving())
        : base(std::move(setup)), camera(base.Environment()) {}

    // Starts the camera's server; the base answers the hello.
    void Start() { ASSERT_EQ(camera.SayHello(), RC::Ok); }

    // Virtual time spent so far, in milliseconds; only for a rig on an
    // in-memory network.
    long long ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(base.Setup().network->Clock().Now()).count();
    }

    DockSim::VeltaBase base;
    DockProtoVelta camera;
};

// Polls as the host does until the request has ended. The request completes
// on another thread, even in memory: the wait is bounded, and short unless
// something is broken.
inline bool PollUntilDone(RestHandle& handle) {
    const auto deadline = std::chrono::steady_clock::now() + kThreadWait;
    while (!handle.IsDone()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

inline DockSim::ApprovalGrant Grant(const std::string& tag, bool mqtt = false) {
    DockSim::ApprovalGrant grant;
    grant.ssid = "ssid-" + tag;
    grant.psk = "psk-" + tag;
    grant.ipAddr = "ip-" + tag;
    grant.macId = "mac-" + tag;
    grant.withMqtt = mqtt;
    grant.mqttAddress = "broker-" + tag;
    grant.mqttPassword = "secret-" + tag;
    grant.mqttCertificate = "cert-" + tag;
    grant.mqttPortNumber = 8000 + static_cast<std::uint32_t>(tag.size());
    return grant;
}

// How many captured lines contain the fragment.
inline std::size_t LinesWith(const CaptureSink& sink, const std::string& fragment) {
    const auto lines = sink.Lines();
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const CaptureSink::Line& line) {
        return line.text.find(fragment) != std::string::npos;
    }));
}

}  // namespace tvo::velta_test
