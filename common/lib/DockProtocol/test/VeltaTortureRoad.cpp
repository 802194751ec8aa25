// The Velta road: the link, the association, the server description, the
// base's firmware questions, status reports and the base's log, and what each of them owes the host.

#include "TortureRoads.h"

#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/RestHandle.h>
#include <DockSim/InMemoryNetwork.h>
#include <DockSim/VeltaBase.h>
#include <DockSim/VeltaBaseFirmware.h>
#include <TestSupport/TestSupport.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace tvo::torture {
namespace {

using DockSim::VeltaBase;
using Direction = DockSim::Exchange::Direction;

constexpr const char* kAnnouncement = "device_announement_usb";
constexpr const char* kApproval = "device_announement_usb_approved";

// Transport errors: the request never got an answer.
const std::initializer_list<Failure> kUnanswered = {Failure::Refused, Failure::ResetBeforeHeaders, Failure::NoAnswer};
// An answer came, but not a good one.
const std::initializer_list<Failure> kBadAnswers = {Failure::ResetMidBody, Failure::ServerError, Failure::GarbageBody};

}  // namespace

// What each Velta operation owes the host when the effect under it fails.
PromiseTable VeltaPromises() {
    // A version request may take its own 3 s; the other three attempts follow.
    const auto helloBound = std::chrono::milliseconds(4 * 3000);
    const auto clientLimit = std::chrono::milliseconds(30000);
    PromiseTable table;
    table.Add("SayHello", {Failure::Refusal}, GadgetRefused());
    table.Add("SayHello", {Failure::AddressInUse},
              {{RC::InProgress},
               0ms,
               LogLevel::Error,
               "Failed to set USB Ethernet REST server to listen mode, error: Address already in use"});
    table.Otherwise("SayHello", {{RC::Ok}, helloBound, LogLevel::Error, "Exception: "});

    table.Add("Associate", kUnanswered,
              {{RC::Failed}, clientLimit, LogLevel::Warning, "Failed to send Device Announce USB message to base"});
    // Neither the status nor the body of the announcement's answer is read.
    table.Add("Associate", kBadAnswers, {{RC::InProgress}, clientLimit, LogLevel::Info, ""});

    table.Otherwise("GetServerInfo", {{RC::Ok},
                                      clientLimit,
                                      LogLevel::Warning,
                                      "Failed to send Device Announce USB message to base using sane default"});

    table.Add(
        "SetUploadStatus", kUnanswered,
        {{RC::Failed}, clientLimit, LogLevel::Warning, "Failed to send UploadStatus message to base, exception: "});
    table.Add("SetUploadStatus", {Failure::ServerError},
              {{RC::Failed}, clientLimit, LogLevel::Warning, "UploadStatus send failed, status code=500"});
    // Only the status is read, and it is 200.
    table.Add("SetUploadStatus", {Failure::ResetMidBody, Failure::GarbageBody},
              {{RC::Ok}, clientLimit, LogLevel::Info, ""});

    // The report runs on behind its handle; the host learns the rest there.
    table.Otherwise("SetChargeStatusAsync", {{RC::InProgress}, clientLimit, LogLevel::Info, ""});

    const auto logRequestLimit = std::chrono::milliseconds(2000);
    table.Add("RequestBaseLog",
              {Failure::Refused, Failure::ResetBeforeHeaders, Failure::NoAnswer, Failure::ResetMidBody},
              {{RC::Failed},
               logRequestLimit,
               LogLevel::Warning,
               "Failed to send RequestBaseLog message to base, exception: "});
    table.Add("RequestBaseLog", {Failure::ServerError},
              {{RC::Failed},
               logRequestLimit,
               LogLevel::Error,
               "From the K410 to the Velta we failed to send a request to get a copy of the velta log, status code = "
               "500"});
    table.Add("RequestBaseLog", {Failure::GarbageBody},
              {{RC::InProgress}, logRequestLimit, LogLevel::Info, "No match: Received response: ["});

    // A failed download leaves no copy on a fresh camera, so there is nothing to hand on.
    table.Otherwise(
        "DownloadBaseLog",
        {{RC::Failed}, clientLimit, LogLevel::Error, "We failed to download the velta log from the velta "});
    // Garbage is a log without the tick: handed on whole.
    table.Add("DownloadBaseLog", {Failure::GarbageBody}, {{RC::Ok}, clientLimit, LogLevel::Info, ""});
    // The camera's own files. A write that takes part of what it was given
    // is written again from where it stopped.
    for (const char* write : {"write ", "copy into ", "splice into "}) {
        table.AddFor("DownloadBaseLog", write, {Failure::ShortWrite}, {{RC::Ok}, clientLimit, LogLevel::Info, ""});
    }
    // A copy that cannot be read again for trimming is handed on whole.
    table.AddFor("DownloadBaseLog", "open velta.log", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Ok}, clientLimit, LogLevel::Info, "VeltaLog file failed to trim "});
    // No older trimmed copy goes out in place of one that could not be made.
    const Promise untrimmed{{RC::Failed}, clientLimit, LogLevel::Error, "TrimmedLog file could not be written: "};
    table.AddFor("DownloadBaseLog", "create velta-trimmed.log",
                 {Failure::NoSuchFile, Failure::AccessDenied, Failure::DiskFull}, untrimmed);
    table.AddFor("DownloadBaseLog", "copy into velta-trimmed.log", {Failure::DiskFull}, untrimmed);
    table.AddFor("DownloadBaseLog", "rename to velta-trimmed.log", {Failure::NoSuchFile, Failure::AccessDenied},
                 untrimmed);
    // The pipe that could not be removed is taken as it is.
    table.AddFor("DownloadBaseLog", "remove wifilogpipe", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Ok}, clientLimit, LogLevel::Info, ""});
    table.AddFor("DownloadBaseLog", "create pipe wifilogpipe",
                 {Failure::NoSuchFile, Failure::AccessDenied, Failure::DiskFull},
                 {{RC::Failed}, clientLimit, LogLevel::Error, "Velta protocol failed to create named pipe at "});
    // The copy opened to be handed on (the trim's open came first).
    table.AddFor("DownloadBaseLog", "open velta.log#2", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Failed}, clientLimit, LogLevel::Error, "VeltaLog file not found at "});
    table.AddFor("DownloadBaseLog", "open velta-trimmed.log", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Failed}, clientLimit, LogLevel::Info, "TrimmedLog file failed to open..."});
    const Promise notHandedOn{
        {RC::Failed}, clientLimit, LogLevel::Error, "TrimmedLog file failed to transfer into svlogd..."};
    table.AddFor("DownloadBaseLog", "open for writing wifilogpipe", {Failure::NoSuchFile, Failure::AccessDenied},
                 notHandedOn);
    table.AddFor("DownloadBaseLog", "splice into wifilogpipe", {Failure::DiskFull}, notHandedOn);

    // The base's firmware and configuration questions are answered whatever
    // the camera's files do. An image that cannot be opened once is found at
    // the next look, or named without its zip package; a missing zip package
    // is dropped with its image and marker, so that it is provided again.
    table.Otherwise("BaseAsksFirmware", {{RC::Ok}, clientLimit, LogLevel::Info, ""});
    table.AddFor("BaseAsksFirmware", "open velta-base-2-", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Ok}, clientLimit, LogLevel::Error, "FW download request "});
    table.AddFor("BaseAsksFirmware", "open camera.conf", {Failure::NoSuchFile, Failure::AccessDenied},
                 {{RC::Ok}, clientLimit, LogLevel::Error, "Camera config download request "});
    return table;
}

namespace {

// The host's road on a docked camera: the link, the association, the server
// description, status reports, the base's log. The road goes on past a step
// that failed, as a host does, and calls again where the host would.
struct VeltaHost {
    DockProtoVelta& camera;
    VeltaBase& base;
    StepRecorder& host;
    std::uint32_t tick;
    std::string pipe;
    // Puts back the firmware package a failed look dropped, as the camera's
    // updater would provide it again.
    std::function<void()> restockFirmware;

    // What went wrong, for a road that must work; empty when nothing did.
    std::string Drive() {
        std::string problems;
        const auto expect = [&](bool good, const std::string& what) {
            if (!good) {
                problems += what + "; ";
            }
        };
        RC hello = RC::InProgress;
        for (int call = 0; call < 3 && hello != RC::Ok; ++call) {
            hello = host.Call("SayHello", [&] { return camera.SayHello(); });
        }
        expect(hello == RC::Ok, "SayHello gave " + std::string(CodeName(hello)));
        host.Call("SetWifiMac", [&] { return camera.SetWifiMac("02:00:00:c0:ff:ee"); });
        host.Call("SetSerialNumber", [&] { return camera.SetSerialNumber("PMX-TORTURE-01"); });

        RC associated = RC::InProgress;
        for (int poll = 0; poll < 14 && associated != RC::Ok; ++poll) {
            associated = host.Call("Associate", [&] { return camera.Associate().code; });
            if (associated == RC::InProgress) {
                // The base approves each announcement from its own thread.
                base.WaitFor(Direction::BaseToCamera, kApproval, base.Count(Direction::CameraToBase, kAnnouncement),
                             2s);
            }
        }
        expect(associated == RC::Ok, "Associate gave " + std::string(CodeName(associated)));

        DockProtoIF::ServerInfo info;
        host.Call("GetServerInfo", [&] {
            const auto answer = camera.GetServerInfo();
            info = answer.value;
            return answer.code;
        });
        expect(info.roomDescription == base.Setup().room, "GetServerInfo gave room " + info.roomDescription);

        restockFirmware();
        // The base's own step: each answer in the form the base expects.
        std::string unsound;
        host.Call("BaseAsksFirmware", [&] {
            for (const auto& answer :
                 {DockSim::AskUpgradePkgVersion(base), DockSim::AskUpgradePkg(base), DockSim::AskCameraConfig(base)}) {
                unsound += answer.Sound() ? "" : DockSim::Describe(answer) + " ";
            }
            return unsound.empty() ? RC::Ok : RC::Failed;
        });
        expect(unsound.empty(), "the firmware answers: " + unsound);

        expect(host.Call("SetUploadStatus",
                         [&] { return camera.SetUploadStatus(static_cast<DockProtoIF::UploadStatus>(1)); }) == RC::Ok,
               "SetUploadStatus failed");
        std::unique_ptr<RestHandle> handle;
        host.Call("SetChargeStatusAsync", [&] {
            auto started = camera.SetChargeStatusAsync(static_cast<DockProtoIF::ChargeStatus>(2));
            handle = std::move(started.handle);
            return started.code;
        });
        expect(handle != nullptr && WaitUntilDone(*handle), "the charge report did not end");

        RC ready = RC::InProgress;
        for (int call = 0; call < 3 && ready == RC::InProgress; ++call) {
            ready = host.Call("RequestBaseLog", [&] { return camera.RequestBaseLog(tick); });
        }
        expect(ready == RC::Ok, "RequestBaseLog gave " + std::string(CodeName(ready)));

        std::size_t received = 0;
        FifoReader collector(
            pipe,
            [&](std::string_view piece) {
                received += piece.size();
                return true;
            },
            5s);
        const RC downloaded = host.Call("DownloadBaseLog", [&] { return camera.DownloadBaseLog(tick); });
        collector.Finish();
        expect(downloaded == RC::Ok && received > 0, "DownloadBaseLog gave " + std::string(CodeName(downloaded)) +
                                                         " and " + std::to_string(received) + " bytes");
        return problems;
    }

    // A report that the base answers with 500 is never done; one that
    // failed or got its 200 is.
    static bool WaitUntilDone(RestHandle& handle) {
        const auto deadline = std::chrono::steady_clock::now() + 300ms;
        try {
            while (!handle.IsDone()) {
                if (std::chrono::steady_clock::now() > deadline) {
                    return true;  // the host gives up by its own limit; not a fault of the road
                }
                std::this_thread::sleep_for(200us);
            }
        } catch (const std::exception&) {
            return true;
        }
        return true;
    }
};

}  // namespace

RoadRun VeltaRoad(FaultPlan& plan, const std::function<void()>& arm, Transport transport) {
    return MeasuredRun(LogLevel::Info, [&](RoadRun& run) {
        const TempDir folder;
        DockSim::VeltaBaseSetup setup;
        if (transport == Transport::InMemory) {
            setup.network = std::make_shared<DockSim::InMemoryNetwork>();
        }
        setup.approval = DockSim::ApprovalMode::AfterAnnouncements;
        setup.approveAfter = 1;
        setup.baseLogFile = folder.file("base-side.log").string();
        setup.cameraLogFolder = folder.path().string();
        DockSim::GenerateBaseLog(setup.baseLogFile, 16 * 1024);
        VeltaBase base(setup);
        ProtocolEnvironment environment = base.Environment();
        const DockSim::FirmwareArea firmware;
        firmware.Apply(environment.files);
        const TempDir shelf;
        const std::vector<std::string> package = {firmware.Image(), firmware.ValidMarker()};
        const auto shelved = [&](const std::string& path) {
            return shelf.file(std::filesystem::path(path).filename().string());
        };
        for (const auto& path : package) {
            std::filesystem::copy_file(path, shelved(path));
        }
        const auto restock = [&] {
            for (const auto& path : package) {
                std::filesystem::copy_file(shelved(path), path, std::filesystem::copy_options::overwrite_existing);
            }
        };
        plan.Apply(environment, setup.network);
        DockSim::VirtualClock unused;  // loopback has no virtual time to read
        plan.Reset();
        arm();
        DockProtoVelta camera(environment);
        StepRecorder host(plan, setup.network ? setup.network->Clock() : unused, run.steps);
        VeltaHost road{camera, base, host, DockSim::BaseLogTick(100), environment.velta.logPipe, restock};
        DriveTwice(plan, run, [&] { return road.Drive(); });
        const auto name = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
        run.leftBehind =
            StrayFiles(folder.path(), {"base-side.log", name(environment.files.baseLogCopy),
                                       name(environment.files.trimmedBaseLogCopy), name(environment.velta.logPipe)});
    });
}

}  // namespace tvo::torture
