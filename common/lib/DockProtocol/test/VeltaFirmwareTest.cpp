// The base asks the camera for the dock firmware package and the camera
// configuration: which version is offered, which file is named, what is
// cleaned up when the package is gone, and that no answer names a file that
// the camera's own files do not.

#include "VeltaTestSupport.h"

#include <DockSim/VeltaBaseFirmware.h>
#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <sys/stat.h>

#include <filesystem>

namespace tvo::velta_test {
namespace {

namespace fs = std::filesystem;
using DockSim::AskCameraConfig;
using DockSim::AskUpgradePkg;
using DockSim::AskUpgradePkgVersion;
using DockSim::FirmwareAnswer;

const std::string kNoLocation = "Version File does not contain FW image location";

class VeltaFirmware : public testing::Test {
protected:
    void SetUp() override {
        ProtocolEnvironment environment = base.Environment();
        area.Apply(environment.files);
        camera = std::make_unique<DockProtoVelta>(environment);
        ASSERT_EQ(camera->SayHello(), RC::Ok);
    }

    std::string At(const std::string& relative) const { return area.Folder() + "/" + relative; }
    static void Put(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        WriteFile(path, text);
    }
    void WriteVersionFile(const std::string& content) { Put(area.VersionFile(), content); }
    void WriteTar(const std::string& path) { Put(path, DockSim::TarArchive("a.txt", "firmware")); }

    // The answer must be well formed whatever it says.
    FirmwareAnswer Package() {
        FirmwareAnswer answer = AskUpgradePkg(base);
        EXPECT_TRUE(answer.Sound()) << Describe(answer);
        return answer;
    }
    std::string Version() {
        FirmwareAnswer answer = AskUpgradePkgVersion(base);
        EXPECT_TRUE(answer.Sound()) << Describe(answer);
        return answer.version;
    }

    DockSim::VeltaBase base{NeverApproving()};
    DockSim::FirmwareArea area;
    std::unique_ptr<DockProtoVelta> camera;
};

TEST_F(VeltaFirmware, VersionIsOfferedOnlyForAValidatedTarImageOrWhenNoTarImageIsThere) {
    const auto answer =
        base.Send("PUT", "?type=get_upgrade_pkg_version", R"({"fw_type":"velta","version":"9.9.9","msg_type":"x"})");
    EXPECT_EQ(answer.reply,
              R"({"fw_type":"velta","message-header":{"ip_addr":"","mac_id":"","port_number":0,"serial_number":""},)"
              R"("msg_type":"get_upgrade_pkg_version","version":"2.1.0"})");

    fs::remove(area.ValidMarker());
    EXPECT_EQ(Version(), "0.0.0.0") << "tar image not validated";
    Put(area.Image(), "not an archive");
    EXPECT_EQ(Version(), "2.1.0") << "plain image, no marker";
    fs::remove(area.Image());
    EXPECT_EQ(Version(), "2.1.0") << "no image: the marker is not consulted";

    WriteVersionFile("location=" + area.Image() + "\n");
    EXPECT_EQ(Version(), "0.0.0.0") << "no version line";
    WriteTar(area.Image());
    Put(area.ValidMarker(), "");
    EXPECT_EQ(Version(), "0.0.0.0") << "no version line, validated tar image";
    fs::remove(area.VersionFile());
    EXPECT_EQ(Version(), "0.0.0.0") << "no version file";
}

TEST_F(VeltaFirmware, OnlyVeltaFirmwareIsServedAndOtherRequestsTouchNothing) {
    ScopedLogCapture log;
    for (const std::string& type : std::vector<std::string>{"Velta", "", "velta ", "../scratch/fw", area.Image()}) {
        const FirmwareAnswer version = AskUpgradePkgVersion(base, type);
        EXPECT_EQ(version.exchange.reply, "Unsupported firmware type") << type;
        const FirmwareAnswer package = AskUpgradePkg(base, type);
        EXPECT_TRUE(package.Sound()) << Describe(package);
        EXPECT_EQ(package.result, "Unsupported firmware type") << type;
    }
    // Without fw_type, or without an object at all, the handler gives up.
    for (const char* body : {R"({"version":"1"})", "[]", "\"velta\""}) {
        EXPECT_EQ(base.Send("PUT", "?type=get_upgrade_pkg_version", body).status, 500u) << body;
        EXPECT_EQ(base.Send("GET", "?type=get_upgrade_pkg", body).status, 500u) << body;
    }
    EXPECT_TRUE(log.Sink().Contains("key not found forfw_type"));
    for (const auto& file : {area.Image(), area.ZipPackage(), area.ValidMarker(), area.VersionFile()}) {
        EXPECT_TRUE(fs::exists(file)) << file;
    }
}

TEST_F(VeltaFirmware, PackageIsTheZipBesideATarImageOrAPlainImageItself) {
    ScopedLogCapture log;
    const std::string zip = At("scratch/tmp/fw/velta-base-2-1-0-tar.zip");
    FirmwareAnswer answer = Package();
    EXPECT_EQ(answer.result, "OK");
    EXPECT_EQ(answer.uri, zip);
    EXPECT_TRUE(log.Sink().Contains("adjusted file path to zip file " + zip));
    EXPECT_TRUE(fs::exists(area.Image()) && fs::exists(area.ValidMarker()));

    Put(area.Image(), "a plain package");
    answer = Package();
    EXPECT_EQ(answer.result, "OK");
    EXPECT_EQ(answer.uri, area.Image());
}

TEST_F(VeltaFirmware, AMissingZipPackageRemovesImageAndMarkerAndLaterRemovalsFailQuietly) {
    fs::remove(area.ZipPackage());
    FirmwareAnswer answer = Package();
    EXPECT_EQ(answer.result, "File not found");
    EXPECT_EQ(answer.uri, "");
    EXPECT_FALSE(fs::exists(area.Image()));
    EXPECT_FALSE(fs::exists(area.ValidMarker()));
    EXPECT_TRUE(fs::exists(area.VersionFile()));
    EXPECT_EQ(Version(), "2.1.0") << "no image left, so the version is the file's";

    ScopedLogCapture log;
    answer = Package();
    EXPECT_EQ(answer.result, "File not found");
    EXPECT_TRUE(log.Sink().Contains("FW download request " + area.Image() + " file not found"));
    EXPECT_TRUE(log.Sink().Contains("Failed to remove velta valid file marker : " + area.ValidMarker() +
                                    " error: No such file or directory"));
    EXPECT_TRUE(log.Sink().Contains("Failed to remove old velta firmware : " + area.Image() +
                                    " error: No such file or directory"));
}

TEST_F(VeltaFirmware, AnImageLocationThatCouldLeaveTheFirmwareAreaNamesNothingAndRemovesNothing) {
    // A validated tar image outside the firmware area, reachable by "..".
    const std::string outside = At("outside.tar");
    WriteTar(outside);
    for (const std::string& location : {At("scratch/../outside.tar"), At("scratch/./fw/../../outside.tar"),
                                        std::string("scratch/fw/velta-base-2.1.0.tar"), std::string("")}) {
        WriteVersionFile("version=2.1.0\nlocation=" + location + "\n");
        fs::remove(area.ValidMarker());
        const FirmwareAnswer answer = Package();
        EXPECT_EQ(answer.result, kNoLocation) << location;
        EXPECT_EQ(Version(), "2.1.0") << location;
    }
    fs::remove(area.VersionFile());
    EXPECT_EQ(Package().result, kNoLocation);
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(area.Image()));

    // A directory is no package and is never removed.
    WriteVersionFile("location=" + At("scratch/fw") + "\n");
    EXPECT_EQ(Package().result, "File not found");
    EXPECT_TRUE(fs::is_directory(At("scratch/fw")));

    // With a NUL the system would see a shorter path: that of the outside image.
    WriteVersionFile(std::string("location=") + outside + '\0' + "/velta.tar\n");
    EXPECT_EQ(Package().result, kNoLocation);
    EXPECT_TRUE(fs::exists(outside));
}

// A FIFO opened to test readability would hold a server thread until a
// writer came; it counts as not found, at once.
TEST_F(VeltaFirmware, AFifoIsNoFileAndNeverHoldsTheServer) {
    fs::remove(area.ConfigFile());
    ASSERT_EQ(::mkfifo(area.ConfigFile().c_str(), 0600), 0);
    EXPECT_EQ(AskCameraConfig(base).result, "File not found");

    fs::remove(area.Image());
    ASSERT_EQ(::mkfifo(area.Image().c_str(), 0600), 0);
    EXPECT_EQ(Version(), "2.1.0");
    EXPECT_EQ(Package().result, "File not found");
}

TEST_F(VeltaFirmware, ATarImageOutsideAScratchAreaHasNoPackageAndIsCleanedUp) {
    const std::string image = At("fw/velta-base-3.0.tar");
    WriteTar(image);
    Put(At("tmp/fw/velta-base-3-0-tar.zip"), "PK");
    WriteVersionFile("version=3.0\nlocation=" + image + "\n");
    const FirmwareAnswer answer = Package();
    EXPECT_EQ(answer.result, "File not found");
    EXPECT_FALSE(fs::exists(image));
    EXPECT_FALSE(fs::exists(area.ValidMarker()));
}

TEST_F(VeltaFirmware, CameraConfigIsNamedWhenItIsAReadableFile) {
    FirmwareAnswer answer = AskCameraConfig(base);
    EXPECT_TRUE(answer.Sound()) << Describe(answer);
    EXPECT_EQ(answer.result, "OK");
    EXPECT_EQ(answer.uri, area.ConfigFile());

    answer = AskCameraConfig(base, "get_camera_config_response");
    EXPECT_TRUE(answer.Sound()) << Describe(answer);
    EXPECT_EQ(answer.result, "Invalid message request type: get_camera_config_response");
    EXPECT_EQ(answer.uri, "");
    for (const char* body : {"{}", R"({"msg_type":7})", "[]"}) {
        EXPECT_EQ(base.Send("GET", "?type=get_camera_config", body).status, 500u) << body;
    }

    fs::remove(area.ConfigFile());
    EXPECT_EQ(AskCameraConfig(base).result, "File not found");
    fs::create_directory(area.ConfigFile());
    answer = AskCameraConfig(base);
    EXPECT_EQ(answer.result, "File not found");
    EXPECT_EQ(answer.uri, "");
}

// The base's own judgement must not call silence sound.
TEST(VeltaFirmwareBase, AnAbsentCameraGivesNoSoundAnswer) {
    DockSim::VeltaBase base(NeverApproving());
    for (const FirmwareAnswer& answer : {AskUpgradePkgVersion(base), AskUpgradePkg(base), AskCameraConfig(base)}) {
        EXPECT_FALSE(answer.Sound()) << Describe(answer);
    }
}

}  // namespace
}  // namespace tvo::velta_test
