// Roads recorded against the loopback simulators, then their dock played
// over real sockets against a fresh camera: the same road agrees at every
// exchange, and a camera that departs is caught at its first difference.

#include <Recording/DockReplay.h>
#include <Recording/Recorder.h>
#include <Recording/Recording.h>

#include <DockProtocol/DockProtocol.h>
#include <DockSim/OskinBase.h>
#include <DockSim/PallixDock.h>
#include <DockSim/TestEnvironment.h>
#include <DockSim/VeltaBase.h>
#include <FileDescriptor/FileDescriptor.h>
#include <TestSupport/TestSupport.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <thread>

namespace tvo::Recording {
namespace {

using Dock = DockProtoIF;
using RC = Dock::ReturnCode;
using namespace std::chrono_literals;
using testing::HasSubstr;

enum class Departure { None, ServerInfoFirst, NoSerialNumber };

// The Velta road up to the server information; the base's approval comes
// between two announcements.
void VeltaRoad(Dock& dock, Departure departure = Departure::None, std::atomic<bool>* shutdown = nullptr) {
    dock.SetShutdownCallback([shutdown](Shutdown::ShutdownType) {
        if (shutdown) {
            *shutdown = true;
        }
    });
    EXPECT_EQ(dock.SayHello(), RC::Ok);
    if (departure == Departure::ServerInfoFirst) {
        dock.GetServerInfo();
    }
    if (departure != Departure::NoSerialNumber) {
        dock.SetSerialNumber("PMX-SERIAL-4711");
    }
    dock.SetWifiMac("02:11:22:33:44:55");
    for (int polls = 0; polls < 40 && dock.Associate().code != RC::Ok; ++polls) {
        std::this_thread::sleep_for(20ms);
    }
    dock.GetServerInfo();
}

// The recorded reply to the camera's request whose target ends so.
std::string ReplyTo(const Recording& recording, const std::string& target) {
    std::string id;
    for (const auto& event : recording.events) {
        if (event.kind == "request" && event.json.find(target + "\"") != std::string::npos) {
            const auto idAt = event.json.find("\"id\":");
            id = event.json.substr(idAt, event.json.find(',', idAt) - idAt);
        } else if (event.kind == "reply" && !id.empty() && event.json.find(id + ",") != std::string::npos) {
            return event.json;
        }
    }
    return "";
}

// Until something accepts connections on the port (the replay starts on a thread).
bool Listening(int port) {
    for (int tries = 0; tries < 200; ++tries) {
        FileDescriptor probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(port));
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(probe.Get(), reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

class DockReplayRoad : public testing::Test {
protected:
    TempDir folder;
    std::string file = folder.file("road.jsonl").string();
    std::string replayed = folder.file("replayed.jsonl").string();
    std::ostringstream log;

    DockReplayOptions Options(int cameraPort, int basePort = 0) const {
        DockReplayOptions options;
        options.camera = "127.0.0.1:" + std::to_string(cameraPort);
        options.listen = "127.0.0.1:" + std::to_string(basePort);
        options.limit = 15s;
        return options;
    }

    std::string Differences(const DockReplayResult& result) const {
        return log.str() + (result.failure.empty() ? "" : "failure: " + result.failure);
    }

    // The camera's time limit for the base's answers, in the recording and its replay.
    std::chrono::milliseconds requestTimeout = 3000ms;

    void RecordVelta(const DockSim::VeltaBaseSetup& setup = {}) {
        DockSim::VeltaBase base(setup);  // on loopback
        Recorder recorder(file, RecorderOptions{"Velta", true, false, "test"});
        auto environment = base.Environment();
        environment.velta.requestTimeout = requestTimeout;
        recorder.Attach(environment);
        DockProtoVelta camera(environment);
        VeltaRoad(*recorder.Wrap(camera));
        EXPECT_FALSE(base.SendShutdownNow().reply.empty());
    }

    // The recorded base against a camera of its own, driven by the same road.
    DockReplayResult ReplayVelta(Departure departure) {
        const int basePort = FreeTcpPort();
        const int cameraPort = FreeTcpPort();
        DockReplayResult result;
        std::thread player([&] { result = PlayDock(Read(file), Options(cameraPort, basePort), log); });
        EXPECT_TRUE(Listening(basePort));
        const TempDir cameraFolder;
        auto environment = DockSim::TestEnvironment(cameraFolder.path().string());
        environment.velta.basePort = basePort;
        environment.velta.listenPort = cameraPort;
        environment.velta.helloTimeout = 1000ms;
        environment.velta.requestTimeout = requestTimeout;
        std::atomic<bool> shutdown{false};
        {
            // The camera's own side is recorded too, for what it saw.
            Recorder recorder(replayed, RecorderOptions{"Velta", true, false, "test"});
            recorder.Attach(environment);
            DockProtoVelta camera(environment);
            VeltaRoad(*recorder.Wrap(camera), departure, &shutdown);
            player.join();
        }
        EXPECT_TRUE(shutdown) << "the recorded shutdown order did not reach the camera";
        return result;
    }
};

TEST_F(DockReplayRoad, VeltaBaseAgreesWithTheSameRoad) {
    RecordVelta();
    const auto result = ReplayVelta(Departure::None);
    EXPECT_TRUE(result.Agrees()) << Differences(result);
    // Hello, announcement, server information; approval and shutdown order.
    EXPECT_GE(result.exchanges, 5U) << log.str();
    EXPECT_THAT(log.str(), HasSubstr("camera -> dock PUT ?type=say_hello: answered as recorded (200)"));
    EXPECT_THAT(log.str(), HasSubstr("dock -> camera PUT ?type=shutdown_now: 200 Received, as recorded"));
    EXPECT_THAT(log.str(), HasSubstr(std::to_string(result.exchanges) + " exchanges, 0 differences"));
}

TEST_F(DockReplayRoad, VeltaBaseWithoutAnAnswerFailsTheCameraAlike) {
    // A base that keeps the camera waiting past its limit, and one that hangs up.
    requestTimeout = 800ms;
    for (const bool hangUp : {false, true}) {
        log.str("");
        DockSim::VeltaBaseSetup setup;
        setup.replies["get_server_info"].never = !hangUp;
        setup.replies["get_server_info"].hangUp = hangUp;
        RecordVelta(setup);
        const auto result = ReplayVelta(Departure::None);
        EXPECT_TRUE(result.Agrees()) << Differences(result);
        EXPECT_THAT(log.str(), HasSubstr("PUT ?type=get_server_info: held without an answer, as recorded"));
        // The camera got no answer either: it failed as recorded.
        EXPECT_THAT(ReplyTo(Read(replayed), "?type=get_server_info"), HasSubstr("\"error\""));
    }
}

TEST_F(DockReplayRoad, VeltaCameraThatDepartsIsCaughtAtItsFirstDifference) {
    RecordVelta();
    {
        const auto result = ReplayVelta(Departure::ServerInfoFirst);
        ASSERT_FALSE(result.differences.empty()) << log.str();
        EXPECT_THAT(result.differences.front(),
                    HasSubstr("request 2: the camera sent PUT /UsbRest/1.0?type=get_server_info, the recording has "
                              "PUT /UsbRest/1.0?type=device_announement_usb"));
        // Answered 404, the camera meets the recording again at its next request.
        EXPECT_EQ(result.differences.size(), 1U) << log.str();
    }
    log.str("");
    {
        const auto result = ReplayVelta(Departure::NoSerialNumber);
        ASSERT_FALSE(result.differences.empty()) << log.str();
        EXPECT_THAT(result.differences.front(), HasSubstr("request 2: the camera sent PUT "
                                                          "/UsbRest/1.0?type=device_announement_usb with"));
        EXPECT_THAT(result.differences.front(), HasSubstr("the recording has"));
    }
}

TEST_F(DockReplayRoad, OskinBaseAgreesAndCatchesAnotherAnswer) {
    DockSim::OskinCameraAnswers::Answers provisioned;
    provisioned.provisioned = true;
    {
        DockSim::OskinBase base;  // on loopback
        DockSim::OskinCameraAnswers host(provisioned);
        Recorder recorder(file, RecorderOptions{"Oskin", true, false, "test"});
        auto environment = base.Environment();
        recorder.Attach(environment);
        const auto answers = recorder.Wrap(host);
        DockProtoOskin camera(environment, answers.get());
        ASSERT_EQ(recorder.Wrap(camera)->SayHello(), RC::Ok);
        base.SayHello();
        base.GetCameraConfig();
        base.GetUsbDeviceStatus();
    }
    for (const bool departs : {false, true}) {
        log.str("");
        DockSim::OskinCameraAnswers::Answers answers = provisioned;
        answers.provisioned = !departs;
        DockSim::OskinCameraAnswers host(answers);
        const TempDir cameraFolder;
        auto environment = DockSim::TestEnvironment(cameraFolder.path().string());
        environment.oskin.port = FreeTcpPort();
        DockProtoOskin camera(environment, &host);
        ASSERT_EQ(camera.SayHello(), RC::Ok);
        const auto result = PlayDock(Read(file), Options(environment.oskin.port), log);
        EXPECT_EQ(result.exchanges, 3U) << log.str();
        if (!departs) {
            EXPECT_TRUE(result.Agrees()) << Differences(result);
            EXPECT_THAT(log.str(), HasSubstr("dock -> camera PUT say_hello?api-version=1.1: 200 "));
        } else {
            ASSERT_EQ(result.differences.size(), 1U) << log.str();
            EXPECT_THAT(result.differences.front(), HasSubstr("usb_device_status"));
            EXPECT_THAT(result.differences.front(), HasSubstr("\"provisioned\":false"));
        }
    }
}

TEST_F(DockReplayRoad, PallixHelloAndAgentReachAFreshCamera) {
    {
        DockSim::PallixDock dock;  // on loopback
        Recorder recorder(file, RecorderOptions{"Pallix", true, false, "test"});
        auto environment = dock.Environment();
        recorder.Attach(environment);
        DockProtoPallix camera(environment);
        auto driven = recorder.Wrap(camera);
        ASSERT_EQ(driven->SayHello(), RC::Ok);
        driven->SetSerialNumber("PMX-SERIAL-4711");
        driven->GetServerInfo();
    }
    const TempDir cameraFolder;
    auto environment = DockSim::TestEnvironment(cameraFolder.path().string());
    environment.pallix.interfaceName = "lo";
    environment.pallix.discoveryPort = static_cast<std::uint16_t>(FreeUdpPort());
    environment.pallix.dockHostName = "localhost";
    DockProtoPallix camera(environment);
    // The camera listens for the hello before the dock sends it.
    std::thread road([&] {
        EXPECT_EQ(camera.SayHello(), RC::Ok);
        camera.SetSerialNumber("PMX-SERIAL-4711");
        EXPECT_EQ(camera.GetServerInfo().code, RC::Ok);
    });
    std::this_thread::sleep_for(100ms);
    auto options = Options(0);
    options.discoveryPort = environment.pallix.discoveryPort;
    const auto result = PlayDock(Read(file), options, log);
    road.join();
    EXPECT_TRUE(result.Agrees()) << Differences(result);
    EXPECT_THAT(log.str(), HasSubstr("camera -> dock POST /emapi/open: answered as recorded (200)"));
}

TEST_F(DockReplayRoad, UnplayableRecordingsSayWhy) {
    // A port taken by someone else, and a dock kind that is no dock.
    RecordVelta();
    const int taken = FreeTcpPort();
    FileDescriptor holder(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(taken));
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int yes = 1;  // beside the test support's own hold on the port
    ASSERT_EQ(::setsockopt(holder.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes), 0);
    ASSERT_EQ(::bind(holder.Get(), reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(::listen(holder.Get(), 1), 0);
    auto options = Options(FreeTcpPort(), taken);
    const auto busy = PlayDock(Read(file), options, log);
    EXPECT_FALSE(busy.failure.empty());
    EXPECT_FALSE(busy.Agrees());

    const auto unknown =
        PlayDock(Parse("{\"recording\":\"dock-road\",\"version\":1,\"dock\":\"Nimbus\"}\n"), options, log);
    EXPECT_THAT(unknown.failure, HasSubstr("'Nimbus'"));
}

TEST(DockReplayDravo, ImageIsTheFirstReadOfEachByte) {
    // ethtool_eeprom: cmd, magic, offset, length (little-endian), then the data.
    const auto read = [](int offset, const std::string& data, int result) {
        const auto le = [](int value) {
            char hex[9];
            std::snprintf(hex, sizeof hex, "%02x%02x0000", value & 0xff, (value >> 8) & 0xff);
            return std::string(hex);
        };
        const int length = static_cast<int>(data.size() / 2);
        return "{\"t\":1,\"thread\":\"host\",\"kind\":\"ioctl\",\"request\":\"SIOCETHTOOL\",\"cmd\":"
               "\"ETHTOOL_GEEPROM\",\"offset\":" +
               std::to_string(offset) + ",\"length\":" + std::to_string(length) + ",\"out\":\"0b00000000000000" +
               le(offset) + le(length) + data + "\",\"result\":" + std::to_string(result) + "}\n";
    };
    const std::string text = "{\"recording\":\"dock-road\",\"version\":1,\"dock\":\"Dravo\"}\n" +
                             read(0, "01020304", 0) + read(2, "aabbccdd", 0) + read(6, "eeee", -1);
    const TempDir folder;
    DockReplayOptions options;
    options.imageOut = folder.file("eeprom.bin").string();
    std::ostringstream log;
    const auto result = PlayDock(Parse(text), options, log);
    EXPECT_TRUE(result.Agrees()) << log.str();
    EXPECT_EQ(result.exchanges, 3U);
    // The overlap keeps the first read; the failed read gives nothing.
    EXPECT_EQ(ReadFile(options.imageOut), std::string("\x01\x02\x03\x04\xcc\xdd"));
    EXPECT_THAT(log.str(), HasSubstr("dockhost road --replay FILE"));
}

}  // namespace
}  // namespace tvo::Recording
