#pragma once
// A mocked camera host and a server on a free loopback port, for the Oskin tests.

#include "OskinRestServerImpl.h"

#include <DockProtocol/OskinDockCallbackIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockSim/TestEnvironment.h>
#include <TestSupport/TestSupport.h>

#include <gmock/gmock.h>

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

inline OskinEnvironment LoopbackEndpoint() {
    TempDir folder;  // the Oskin part names no file
    OskinEnvironment endpoint = DockSim::TestEnvironment(folder.path().string()).oskin;
    endpoint.port = FreeTcpPort();
    return endpoint;
}

inline std::unique_ptr<OskinRestServerImpl> MakeServer(DockCallbackIF* host) {
    return std::make_unique<OskinRestServerImpl>(host, LoopbackEndpoint());
}

inline web::json::value Json(const std::string& text) {
    return web::json::value::parse(text);
}

constexpr const char* kTenant = "6f1c2a9e-3b4d-4e5f-8a7b-9c0d1e2f3a4b";
constexpr const char* kOtherTenant = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
constexpr const char* kNilTenant = "00000000-0000-0000-0000-000000000000";

}  // namespace tvo::oskintest
