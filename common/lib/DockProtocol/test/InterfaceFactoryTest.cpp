#include <DockProtocol/DockProtoDefault.h>
#include <DockProtocol/InterfaceFactory.h>

#include <gtest/gtest.h>

#include <sstream>

namespace tvo {
namespace {

using RC = DockProtoIF::ReturnCode;

std::unique_ptr<DockProtoIF> Make(std::string_view name, std::string_view arg = "") {
    return InterfaceFactory::Create<DockProtoIF, std::string_view, DockCallbackIF*>(name, arg, nullptr);
}

TEST(InterfaceFactory, UnknownEmptyOrMiscasedNamesYieldTheDefaultProtocol) {
    for (std::string_view name : {"", "dravo", "VELTA", "oskin", "Pallix ", "Nonesuch", "DefaultIF"}) {
        auto dock = Make(name, "ignored");
        ASSERT_NE(dock, nullptr) << name;
        EXPECT_NE(dynamic_cast<DockProtoDefault*>(dock.get()), nullptr) << name;
        EXPECT_EQ(dock->GetName(), "Default") << name;
    }
}

TEST(InterfaceFactory, RegistryKeysAreExactAndHaveStaticStorage) {
    auto& constructors = IF<DockProtoIF>::ifConstructors<std::string_view, DockCallbackIF*>;
    ASSERT_EQ(constructors.count("DefaultIF"), 1u);
    for (const auto& [key, constructor] : constructors) {
        ASSERT_TRUE(constructor) << key;
        auto dock = constructor("", nullptr);
        // Every class answers its key, except the default one.
        EXPECT_EQ(dock->GetName(), key == "DefaultIF" ? "Default" : key);
    }
}

TEST(InterfaceFactory, EveryDockKindIsRegistered) {
    auto& constructors = IF<DockProtoIF>::ifConstructors<std::string_view, DockCallbackIF*>;
    for (std::string_view name : {"Dravo", "Velta", "Oskin", "Pallix"}) {
        EXPECT_EQ(constructors.count(name), 1u) << name;
    }
    EXPECT_EQ(constructors.size(), 5u);
}

TEST(DockProtoDefault, AnswersEveryOperationWithItsFixedResult) {
    auto dock = Make("DefaultIF");
    EXPECT_EQ(dock->SayHello(), RC::Failed);
    EXPECT_EQ(dock->BlockProtocol(), RC::Failed);
    EXPECT_EQ(dock->SwitchChannel(), RC::NotSupported);
    EXPECT_EQ(dock->SetWifiMac("00:11:22:33:44:55"), RC::NotSupported);
    EXPECT_EQ(dock->SetSerialNumber("X123"), RC::NotSupported);
    EXPECT_EQ(dock->SetUploadStatus(DockProtoIF::UploadStatus::Uploading), RC::NotSupported);
    EXPECT_EQ(dock->SetChargeStatus(DockProtoIF::ChargeStatus::Full), RC::NotSupported);
    EXPECT_EQ(dock->RequestBaseLog(1), RC::NotSupported);
    EXPECT_EQ(dock->DownloadBaseLog(1), RC::NotSupported);
    EXPECT_EQ(dock->SetTerminateBackendCallback([] {}), RC::NotSupported);
    EXPECT_EQ(dock->Cancel(), RC::NotSupported);
    EXPECT_EQ(dock->TrimBaseLogFile(12345), 0u);

    const auto network = dock->ProvisionNetwork();
    EXPECT_EQ(network.code, RC::NotSupported);
    EXPECT_EQ(network.value.addressMode, 0u);
    EXPECT_TRUE(network.value.ipAddress.empty() && network.value.macAddress.empty());

    const auto association = dock->Associate();
    EXPECT_EQ(association.code, RC::NotSupported);
    EXPECT_TRUE(association.value.ssid.empty());
    EXPECT_EQ(association.value.mqttPortNumber, 0u);

    const auto server = dock->GetServerInfo();
    EXPECT_EQ(server.code, RC::NotSupported);
    std::ostringstream printed, neutral;
    printed << server.value;
    neutral << DockProtoIF::ServerInfo::Neutral();
    EXPECT_EQ(printed.str(), neutral.str());

    for (const auto& value : {dock->GetShutdown(), dock->GetChargeFault(), dock->CheckNetwork()}) {
        EXPECT_EQ(value.value, 0u);
        EXPECT_EQ(value.code, RC::NotSupported);
    }
    const auto upload = dock->SetUploadStatusAsync(DockProtoIF::UploadStatus::Error);
    EXPECT_EQ(upload.handle, nullptr);
    EXPECT_EQ(upload.code, RC::NotSupported);
    const auto charge = dock->SetChargeStatusAsync(DockProtoIF::ChargeStatus::Charging);
    EXPECT_EQ(charge.handle, nullptr);
    EXPECT_EQ(charge.code, RC::NotSupported);
}

TEST(DockProtoDefault, DropsTheShutdownCallbackWithoutCallingIt) {
    auto dock = Make("whatever");
    bool called = false;
    EXPECT_EQ(dock->SetShutdownCallback([&](Shutdown::ShutdownType) { called = true; }), RC::NotSupported);
    dock->SayHello();
    dock->GetServerInfo();
    dock.reset();
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace tvo
