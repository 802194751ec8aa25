// The protocol object's whole road against the emulated cradle, for both
// chips: what the image builder put in comes out, status writes reach the
// adapter, any single failed request is reported, and a garbage image is
// used as it stands without reading past it.

#include <DockSim/DravoCradle.h>

#include <DockProtocol/DockProtoDravo.h>
#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <linux/sockios.h>

#include <cstdio>
#include <random>

namespace tvo::DockSim {
namespace {

using RC = DockProtoIF::ReturnCode;
using Status = DockProtoIF::UploadStatus;
using Charge = DockProtoIF::ChargeStatus;

struct Road {
    std::vector<RC> codes;
    DockProtoIF::NetworkConfig network;
    DockProtoIF::ServerInfo server;
    std::uint32_t fault = 0;
    bool recordsOk = false;  // both records came with Ok
};

// The host's typical sequence; it stops when the transfer fails.
Road Drive(DockProtoDravo& camera) {
    Road road;
    RC code = camera.SayHello();
    road.codes.push_back(code);
    while (code == RC::InProgress && road.codes.size() < 20) {
        road.codes.push_back(code = camera.BlockProtocol());
    }
    if (code != RC::Ok) {
        return road;
    }
    const auto network = camera.ProvisionNetwork();
    const auto server = camera.GetServerInfo();
    const auto fault = camera.GetChargeFault();
    road.network = network.value;
    road.server = server.value;
    road.fault = fault.value;
    road.recordsOk = network.code == RC::Ok && server.code == RC::Ok;
    for (const auto result : {network.code, server.code, camera.SetUploadStatus(Status::Pending),
                              camera.SetChargeStatus(Charge::Full), fault.code, camera.CheckNetwork().code}) {
        road.codes.push_back(result);
    }
    return road;
}

class DravoRoad : public testing::TestWithParam<DravoChip> {
protected:
    ScopedLogCapture quiet{LogLevel::Error};
};

TEST_P(DravoRoad, DeliversTheBuiltConfigurationAndTakesTheStatus) {
    const DravoChip chip = GetParam();
    const bool ax = chip == DravoChip::Ax88179;
    const auto configuration = SampleDravoConfiguration(chip);
    const auto setup = CradleSetupFor(configuration);
    DravoCradle cradle(setup);
    DockProtoDravo camera(cradle.Environment());

    const Road road = Drive(camera);
    ASSERT_EQ(road.codes.back(), RC::Ok);
    EXPECT_EQ(std::count(road.codes.begin(), road.codes.end(), RC::Failed), 0);
    for (const auto& mismatch : DravoMismatches(configuration, setup.mac, road.network, road.server)) {
        ADD_FAILURE() << mismatch;
    }
    EXPECT_EQ(road.fault, configuration.chargeFault);

    auto& adapter = cradle.Adapter();
    ASSERT_EQ(adapter.PhyWrites().size(), 1u);
    EXPECT_EQ(adapter.PhyWrites()[0].phyId, ax ? 3 : 1);
    EXPECT_EQ(adapter.PhyWrites()[0].reg, ax ? 255 : 29);
    EXPECT_EQ(adapter.PhyWrites()[0].value, ax ? 0x8982 : 0x0EEF);
    EXPECT_EQ(adapter.Eeprom()[ax ? 0x76 : 0x71], 1) << "charge status byte";
    EXPECT_EQ(adapter.Requests(SIOCGMIIPHY), 1u) << "PHY learnt once, at SayHello";
    // The ax88179 dock hears from the camera when it reads the fault.
    const auto counterWrites = std::count_if(adapter.EepromWrites().begin(), adapter.EepromWrites().end(),
                                             [](const auto& write) { return write.offset == 0x72; });
    EXPECT_EQ(counterWrites, ax ? 1 : 0);

    // Repeats write nothing; an interface that went away is noticed.
    const auto before = adapter.Requests();
    EXPECT_EQ(camera.SetUploadStatus(Status::Queued), RC::Ok);  // same pattern, new status
    EXPECT_EQ(camera.SetUploadStatus(Status::Queued), RC::Ok);
    EXPECT_EQ(camera.SetChargeStatus(Charge::Full), RC::Ok);
    EXPECT_EQ(adapter.Requests(), before + 1);
    adapter.Settings().up = false;
    EXPECT_EQ(camera.CheckNetwork().value, 1u);
    adapter.Settings().up = true;
    EXPECT_EQ(camera.SetUploadStatus(Status::Error), RC::Ok);
    EXPECT_EQ(adapter.Requests(SIOCGMIIPHY), 2u);
}

TEST_P(DravoRoad, EverySingleFailedRequestIsReportedNeverCorrupts) {
    const auto configuration = SampleDravoConfiguration(GetParam());
    auto setup = CradleSetupFor(configuration);
    std::vector<unsigned long> clean;
    {
        DravoCradle cradle(setup);
        DockProtoDravo camera(cradle.Environment());
        Drive(camera);
        clean = cradle.Adapter().RequestLog();
    }
    for (unsigned failing = 1; failing <= clean.size(); ++failing) {
        setup.failRequest = failing;
        DravoCradle cradle(setup);
        DockProtoDravo camera(cradle.Environment());
        const Road road = Drive(camera);
        const bool reported = std::count(road.codes.begin(), road.codes.end(), RC::Failed) > 0;
        // Only the PHY question at SayHello may fail unnoticed: it is asked again.
        EXPECT_TRUE(reported || clean[failing - 1] == SIOCGMIIPHY) << "request " << failing;
        if (road.recordsOk) {
            const auto mismatches = DravoMismatches(configuration, setup.mac, road.network, road.server);
            EXPECT_TRUE(mismatches.empty()) << "request " << failing << ": " << mismatches.front();
        }
    }
}

// Independent reading of the raw bytes, to hold the camera's result against.
std::string Dotted(const unsigned char* bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

TEST_P(DravoRoad, GarbageImageIsUsedAsItStandsWithinItsFields) {
    DravoCradleSetup setup;
    setup.chip = GetParam();
    std::mt19937 random(20240611);
    for (auto& byte : setup.image) {
        // No NUL anywhere: every text field runs to its full width.
        byte = static_cast<unsigned char>(1 + random() % 255);
    }
    unsigned char* c = setup.image.data() + 128;
    c[257] = 0xFF;  // every flag, known or not
    DravoCradle cradle(setup);
    DockProtoDravo camera(cradle.Environment());

    const Road road = Drive(camera);
    ASSERT_EQ(road.codes.back(), RC::Ok);
    EXPECT_EQ(road.network.addressMode, 2u);
    EXPECT_EQ(road.network.ipAddress, Dotted(c + 258));
    EXPECT_EQ(road.network.dns, Dotted(c + 270));
    EXPECT_EQ(road.server.serverUrlType, DockProtoIF::ServerUrlType::Hostname);
    EXPECT_EQ(road.server.primaryServerUrl, std::string(reinterpret_cast<char*>(c), 128));
    EXPECT_EQ(road.server.secondaryServerUrl, std::string(reinterpret_cast<char*>(c) + 128, 128));
    EXPECT_EQ(road.server.roomDescription, std::string(reinterpret_cast<char*>(c) + 284, 32));
    EXPECT_EQ(road.server.stationId, std::string(reinterpret_cast<char*>(c) + 316, 32));
    EXPECT_EQ(road.server.port, std::to_string(c[274] | c[275] << 8));
    char tenant[37];
    std::snprintf(tenant, sizeof tenant, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", c[348],
                  c[349], c[350], c[351], c[352], c[353], c[354], c[355], c[356], c[357], c[358], c[359], c[360],
                  c[361], c[362], c[363]);
    EXPECT_EQ(road.server.tenantId, tenant);
}

INSTANTIATE_TEST_SUITE_P(BothChips, DravoRoad, testing::Values(DravoChip::Lan7850, DravoChip::Ax88179),
                         [](const auto& info) { return std::string(ChipName(info.param)); });

}  // namespace
}  // namespace tvo::DockSim
