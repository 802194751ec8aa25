// Roads recorded on the in-memory network, with hostile docks among them,
// replayed against the recorded dock; redaction; a camera that departs from
// its recording.

#include <Recording/Recorder.h>
#include <Recording/Recording.h>
#include <Recording/Replay.h>

#include <DockProtocol/DockProtocol.h>
#include <HttpRest/HttpClient.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/OskinBase.h>
#include <DockSim/PallixDock.h>
#include <DockSim/VeltaBase.h>
#include <DockProtocol/RestMessages.h>
#include <TestSupport/TestSupport.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tvo::Recording {
namespace {

using Dock = DockProtoIF;
using RC = Dock::ReturnCode;
using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::Not;

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 0xF];
    }
    return hex;
}

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// A road recorded into a file of its own; the replay runs in another folder.
class Recorded : public testing::Test {
protected:
    TempDir folder;
    std::filesystem::path file = folder.file("road.jsonl");

    Recorder Start(const std::string& dock, bool redact = false) {
        return Recorder(file.string(), RecorderOptions{dock, true, redact, "test"});
    }

    ReplayResult ReplayFile(const std::string& text) {
        const TempDir replayFolder;
        return Replay(Parse(text), ReplayOptions{"", replayFolder.path().string()});
    }

    static std::string Differences(const ReplayResult& result) {
        std::string all;
        for (const auto& difference : result.differences) {
            all += difference + "\n";
        }
        return all;
    }
};

// The Velta road up to the server information. The host polls again only
// once the base's approval is in: a recording cannot tell whether an
// approval that overlapped a poll was seen by it.
RC VeltaRoad(Dock& dock, const DockSim::VeltaBase& base) {
    dock.SetShutdownCallback([](Shutdown::ShutdownType) {});
    EXPECT_EQ(dock.SayHello(), RC::Ok);
    dock.SetSerialNumber("PMX-SERIAL-4711");
    dock.SetWifiMac("02:11:22:33:44:55");
    for (int polls = 0; polls < 5 && dock.Associate().code != RC::Ok; ++polls) {
        base.WaitFor(DockSim::Exchange::Direction::BaseToCamera, "device_announement_usb_approved", 1, 2s);
    }
    return dock.GetServerInfo().code;
}

TEST_F(Recorded, VeltaHostileAnswersReplayAlike) {
    // An answer that never ends, one whose body is cut off, and one garbled.
    std::vector<DockSim::ReplyScript> hostile(3);
    hostile[0].never = true;
    hostile[1].body = DockSim::BodyFault::MalformedJson;
    hostile[2].body = DockSim::BodyFault::WrongTypes;
    for (const auto& script : hostile) {
        DockSim::VeltaBaseSetup setup;
        setup.network = std::make_shared<DockSim::InMemoryNetwork>();
        setup.replies["get_server_info"] = script;
        DockSim::VeltaBase base(setup);
        {
            Recorder recorder = Start("Velta");
            auto environment = base.Environment();
            recorder.Attach(environment);
            DockProtoVelta camera(environment);
            VeltaRoad(*recorder.Wrap(camera), base);
            base.SendShutdownNow();
        }
        const std::string text = Slurp(file);
        const auto result = ReplayFile(text);
        EXPECT_TRUE(result.Agrees()) << Differences(result);
        EXPECT_THAT(text, HasSubstr(script.never ? "\"error\"" : "\"status\":200"));
        EXPECT_THAT(text, HasSubstr("\"op\":\"Shutdown\""));  // the base's order reached the host
    }
}

TEST_F(Recorded, PallixHostileAgentsReplayAlike) {
    // None is an agent that never answers; the others answer as named.
    const std::vector<std::optional<DockSim::PallixAnswer>> agents{std::nullopt, DockSim::PallixAnswer::MalformedJson,
                                                                   DockSim::PallixAnswer::HostileConnectHost,
                                                                   DockSim::PallixAnswer::Full};
    for (const auto& answer : agents) {
        DockSim::PallixDockSetup setup;
        setup.network = std::make_shared<DockSim::InMemoryNetwork>();
        setup.agent.answers = {answer.value_or(DockSim::PallixAnswer::Full)};
        DockSim::PallixDock dock(setup);
        {
            Recorder recorder = Start("Pallix");
            auto environment = dock.Environment();
            if (!answer) {
                environment.transport.makeHttpClient = [network = setup.network](const HttpClientOptions& options) {
                    return network->MakeClient(options, [](const DockSim::RawRequest&) {
                        DockSim::RawReply silence;
                        silence.never = true;
                        return std::optional<DockSim::RawReply>(silence);
                    });
                };
            }
            recorder.Attach(environment);
            DockProtoPallix camera(environment);
            auto driven = recorder.Wrap(camera);
            EXPECT_EQ(driven->SayHello(), RC::Ok);
            driven->SetSerialNumber("PMX-SERIAL-4711");
            driven->GetServerInfo();
        }
        const std::string text = Slurp(file);
        EXPECT_THAT(text, HasSubstr("\"kind\":\"datagram\""));
        EXPECT_THAT(text, HasSubstr("\"kind\":\"hosts\""));
        EXPECT_THAT(text, HasSubstr(answer ? "\"status\":200" : "\"error\""));
        const auto result = ReplayFile(text);
        EXPECT_TRUE(result.Agrees()) << Differences(result);
    }
}

TEST_F(Recorded, OskinHostileBaseReplaysAlike) {
    DockSim::OskinBaseSetup setup;
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    setup.hugeBodyBytes = 200 * 1024;  // past the recording's whole-body limit
    DockSim::OskinBase base(setup);
    DockSim::OskinCameraAnswers host;
    {
        Recorder recorder = Start("Oskin");
        auto environment = base.Environment();
        recorder.Attach(environment);
        const auto answers = recorder.Wrap(host);
        DockProtoOskin camera(environment, answers.get());
        auto driven = recorder.Wrap(camera);
        ASSERT_EQ(driven->SayHello(), RC::Ok);
        base.SayHello();
        base.GetCameraCapabilities();
        base.GetUsbDeviceStatus();
        for (const auto& bad : base.BadInputs()) {
            base.SendBadInput(bad);
        }
        driven->GetServerInfo();
    }
    const std::string text = Slurp(file);
    EXPECT_THAT(text, HasSubstr("\"sha256\""));  // a huge body, kept as its digest
    const auto result = ReplayFile(text);
    EXPECT_TRUE(result.Agrees()) << Differences(result);
    EXPECT_GT(result.steps.size(), base.BadInputs().size());
}

TEST_F(Recorded, DepartureIsReportedAtTheFirstDifferingRequest) {
    DockSim::VeltaBaseSetup setup;
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    DockSim::VeltaBase base(setup);
    {
        Recorder recorder = Start("Velta");
        auto environment = base.Environment();
        recorder.Attach(environment);
        DockProtoVelta camera(environment);
        VeltaRoad(*recorder.Wrap(camera), base);
    }
    std::string text = Slurp(file);
    // The recorded camera asked for something else than this build does.
    const std::string asked = "?type=get_server_info\"";
    const auto at = text.find(asked);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, asked.size(), "?type=get_station_info\"");
    const auto result = ReplayFile(text);
    ASSERT_FALSE(result.Agrees());
    EXPECT_THAT(result.differences.front(), HasSubstr("the camera sent PUT /UsbRest/1.0?type=get_server_info"));
    EXPECT_THAT(result.differences.front(), HasSubstr("the recording has PUT /UsbRest/1.0?type=get_station_info"));
}

TEST_F(Recorded, RedactionLeavesNoSerialMacOrTenant) {
    DockSim::OskinBaseSetup setup;
    setup.network = std::make_shared<DockSim::InMemoryNetwork>();
    DockSim::OskinBase base(setup);
    const std::string tenant = "5f0c2a9e-1b7d-4c3e-9a8f-6d2e4b1c0a97";
    DockSim::OskinCameraAnswers host;
    {
        Recorder recorder = Start("Oskin", true);
        auto environment = base.Environment();
        recorder.Attach(environment);
        const auto answers = recorder.Wrap(host);
        DockProtoOskin camera(environment, answers.get());
        auto driven = recorder.Wrap(camera);
        driven->SetSerialNumber("PMX-SERIAL-4711");
        driven->SetWifiMac("02:11:22:33:44:55");
        driven->SayHello();
        rest::MessageHeader header{"", "02:11:22:33:44:55", "PMX-SERIAL-4711", 0};
        base.ConnectionReady(header);
        base.SetServerInfo(DockSim::SampleServerInfo(tenant));
        EXPECT_FALSE(Parse(Slurp(file)).events.size());  // held back until the end
    }
    const std::string text = Slurp(file);
    EXPECT_THAT(text, HasSubstr("\"redacted\":true"));
    const std::vector<std::string> originals{"PMX-SERIAL-4711", "02:11:22:33:44:55", "021122334455", tenant,
                                             Hex("PMX-SERIAL-4711")};
    for (const auto& original : originals) {
        EXPECT_THAT(text, Not(HasSubstr(original))) << original;
    }
    EXPECT_THAT(text, HasSubstr("02:00:5e:00:00:00"));  // the stand-in of the first MAC
    // The same value keeps one stand-in, so a redacted recording still tells
    // which messages carried the same serial.
    const auto events = Parse(text).events;
    EXPECT_GT(events.size(), 5u);
}

TEST(Redact, StandInsAreStableAndKeepTheLength) {
    const std::string lines =
        R"({"serialNumber":"ABC-123"} {"body":"{\"serial_number\":\"ABC-123\"}"} 0a:1B:2c:3D:4e:5F 0a-1b-2c-3d-4e-5f )"
        "0a1b2c3d4e5f " +
        Hex("ABC-123");
    const std::string redacted = Redact(lines);
    EXPECT_EQ(redacted.size(), lines.size());
    EXPECT_THAT(redacted, Not(HasSubstr("ABC-123")));
    EXPECT_THAT(redacted, Not(HasSubstr(Hex("ABC-123"))));
    EXPECT_THAT(redacted, HasSubstr("02:00:5e:00:00:00 02-00-5e-00-00-00 02005e000000"));
    EXPECT_EQ(Redact(redacted), redacted);  // nothing left to find
}

}  // namespace
}  // namespace tvo::Recording
