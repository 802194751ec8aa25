#pragma once
// A camera and an emulated base on loopback, the camera's inbound server
// started, for the Velta tests.

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/RestMessages.h>
#include <DockSim/VeltaBase.h>

#include <gtest/gtest.h>

namespace tvo::velta_test {

using RC = DockProtoIF::ReturnCode;
using DockSim::Exchange;
using Direction = DockSim::Exchange::Direction;

inline DockSim::VeltaBaseSetup NeverApproving() {
    DockSim::VeltaBaseSetup setup;
    setup.approval = DockSim::ApprovalMode::Never;
    return setup;
}

// The base first, so that the camera goes away before it.
struct VeltaRig {
    explicit VeltaRig(DockSim::VeltaBaseSetup setup = NeverApproving())
        : base(std::move(setup)), camera(base.Environment()) {}

    // Starts the camera's server; the base answers the hello.
    void Start() { ASSERT_EQ(camera.SayHello(), RC::Ok); }

    DockSim::VeltaBase base;
    DockProtoVelta camera;
};

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

}  // namespace tvo::velta_test
