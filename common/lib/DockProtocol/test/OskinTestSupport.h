#pragma once
// A mocked camera host, servers and bases on an in-memory network of their
// own, and the tenants of the Oskin tests.

#include "OskinRestServerImpl.h"

#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/OskinDockCallbackIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/OskinBase.h>
#include <DockSim/TestEnvironment.h>
#include <TestSupport/TestSupport.h>

#include <gmock/gmock.h>

#include <future>
#include <memory>
#include <string>

namespace tvo::oskintest {

class MockCameraHost : public OskinDockCallbackIF {
public:
    MOCK_METHOD(void, OnConnectionReady, (), (override));
    MOCK_METHOD(std::string, GetCameraConfigUri, (), (override));
    MOCK_METHOD(std::vector<Capability>, GetCameraCapabilities, (), (override));
    MOCK_METHOD(bool, IsUsbDeviceProvisioned, (), (override));
    MOCK_METHOD(ProvisioningStatus, GetProvisioningStatus, (), (override));
};

// A host of the plain kind, which the Oskin dock must refuse.
class PlainHost : public DockCallbackIF {};

// The camera's endpoint on a port the network has free.
inline OskinEnvironment MemoryEndpoint(const DockSim::InMemoryNetwork& network) {
    TempDir folder;  // the Oskin part names no file
    OskinEnvironment endpoint = DockSim::TestEnvironment(folder.path().string()).oskin;
    endpoint.port = network.FreePort();
    return endpoint;
}

// Servers made here listen on the network; the transport keeps it alive.
inline TransportEnvironment MemoryTransport(const DockSim::InMemoryNetwork& network) {
    ProtocolEnvironment environment;
    network.Attach(environment);
    return environment.transport;
}

// A server on a network of its own: no socket, no port taken.
inline std::unique_ptr<OskinRestServerImpl> MakeServer(DockCallbackIF* host) {
    const DockSim::InMemoryNetwork network;
    return std::make_unique<OskinRestServerImpl>(host, MemoryEndpoint(network), MemoryTransport(network));
}

// A base that meets the camera on a fresh in-memory network.
inline DockSim::OskinBaseSetup InMemory(DockSim::OskinBaseSetup setup = {}) {
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    return setup;
}

inline web::json::value Json(const std::string& text) {
    return web::json::value::parse(text);
}

constexpr const char* kTenant = "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b";
constexpr const char* kOtherTenant = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
constexpr const char* kNilTenant = "00000000-0000-0000-0000-000000000000";

// A host that tears docking down from inside the dock's call-back.
class TearingDownHost : public DockSim::OskinCameraAnswers {
public:
    std::unique_ptr<DockProtoOskin>* dock = nullptr;
    std::promise<void> destroyed;

    void OnConnectionReady() override {
        dock->reset();
        destroyed.set_value();
    }
};

}  // namespace tvo::oskintest
