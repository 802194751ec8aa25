#pragma once
// Docks on an in-memory network of their own, the log check and the hello
// road shared by the Pallix tests in memory and on loopback.

#include <DockProtocol/DockProtoPallix.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/PallixDock.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tvo::pallixtest {

// What the camera enters for the dock that sent the hello from ::1.
inline const std::string kDockEntry = "\n# Pallix address\n::1\tlocalhost\n";

// A dock whose hello, agent and clock are on a fresh in-memory network.
inline DockSim::PallixDockSetup InMemory(DockSim::PallixDockSetup setup = {}) {
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    return setup;
}

inline bool Logged(CaptureSink& sink, LogLevel level, const std::string& text) {
    for (const auto& line : sink.Lines()) {
        if (line.level == level && line.text == text) {
            return true;
        }
    }
    return false;
}

// The camera's hello against a dock that sends this kind: what it learns,
// enters and logs.
inline void ExpectHelloKind(DockSim::PallixHello kind, DockSim::PallixDockSetup setup) {
    using RC = DockProtoIF::ReturnCode;
    setup.hello = kind;
    DockSim::PallixDock dock(setup);
    DockProtoPallix camera(dock.Environment());
    ScopedLogCapture log;
    const auto port = DockSim::PallixLearntPort(kind, dock.Agent().Port());

    EXPECT_EQ(camera.SayHello(), port ? RC::Ok : RC::Failed);
    EXPECT_TRUE(dock.SendErrors().empty());
    const std::string hosts = dock.HostsText();
    if (DockSim::PallixHelloHeard(kind)) {
        EXPECT_EQ(hosts, setup.hostsText + kDockEntry);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Pallix IPv6 address: ::1"));
    } else {
        EXPECT_EQ(hosts, setup.hostsText);
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Resource temporarily unavailable"));
    }
    if (port) {
        EXPECT_TRUE(
            Logged(log.Sink(), LogLevel::Info, "Got discovery message from Pallix. Agent port number is: " + *port));
    }
    if (kind == DockSim::PallixHello::NoMagic) {
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Error, "Failed to parse the hello message"));
    }
    if (kind == DockSim::PallixHello::ZeroInside) {
        EXPECT_TRUE(Logged(log.Sink(), LogLevel::Info, "Read hello message: KORVEL-PSS-HELLO,acsp=" + *port));
    }
}

}  // namespace tvo::pallixtest
