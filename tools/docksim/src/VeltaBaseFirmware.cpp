// The emulated base asks for the firmware package version, the package and
// the camera configuration, as a base does before it updates itself, and
// judges each answer as a base would have to.

#include <DockSim/VeltaBaseFirmware.h>

#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestMessages.h>
#include <TestSupport/TestSupport.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kFixedResults = {"OK", "File not found", "Unsupported firmware type",
                                                "Version File does not contain FW image location"};

// The answer's body as a JSON object; a problem noted when it is none.
std::optional<web::json::object> ReplyObject(FirmwareAnswer& answer) {
    const Exchange& exchange = answer.exchange;
    if (!exchange.error.empty()) {
        answer.problems.push_back("no answer: " + exchange.error);
        return std::nullopt;
    }
    if (exchange.status != 200) {
        answer.problems.push_back("status " + std::to_string(exchange.status));
        return std::nullopt;
    }
    try {
        const auto parsed = web::json::value::parse(exchange.reply);
        if (parsed.is_object()) {
            return parsed.as_object();
        }
    } catch (const web::json::json_exception&) {
    }
    answer.problems.push_back("answer is not a JSON object");
    return std::nullopt;
}

void CheckType(FirmwareAnswer& answer, const web::json::object& reply, rest::Message expected) {
    const auto type = reply.find("msg_type");
    if (type == reply.end() || !type->second.is_string() || type->second.as_string() != rest::MessageType(expected)) {
        answer.problems.push_back("msg_type is not " + std::string(rest::MessageType(expected)));
    }
}

// Reads a string member; a problem noted when it is absent or no string.
std::string Member(FirmwareAnswer& answer, const web::json::object& reply, const std::string& key) {
    const auto found = reply.find(key);
    if (found == reply.end() || !found->second.is_string()) {
        answer.problems.push_back("\"" + key + "\" missing or not a string");
        return {};
    }
    return found->second.as_string();
}

void CheckLocation(FirmwareAnswer& answer, const std::string& expectedResult) {
    const auto reply = ReplyObject(answer);
    if (!reply) {
        return;
    }
    CheckType(answer, *reply, rest::Message::HttpGetResponse);
    answer.result = Member(answer, *reply, "result");
    answer.uri = Member(answer, *reply, "uri");
    if (!expectedResult.empty() && answer.result != expectedResult) {
        answer.problems.push_back("result is not \"" + expectedResult + "\"");
    }
    const bool known = expectedResult == answer.result ||
                       std::find(kFixedResults.begin(), kFixedResults.end(), answer.result) != kFixedResults.end();
    if (!known) {
        answer.problems.push_back("unknown result \"" + answer.result + "\"");
    }
    if (answer.result != "OK") {
        if (!answer.uri.empty()) {
            answer.problems.push_back("a uri with result \"" + answer.result + "\"");
        }
        return;
    }
    std::error_code error;
    const fs::path uri(answer.uri);
    if (!uri.is_absolute() || uri.lexically_normal() != uri) {
        answer.problems.push_back("uri is not a plain absolute path");
    } else if (!fs::is_regular_file(uri, error) || !std::ifstream(uri).is_open()) {
        answer.problems.push_back("uri names no readable file");
    }
}

// The query that names the message to the camera's inbound server.
std::string QueryFor(rest::Message type) {
    return "?type=" + std::string(rest::MessageType(type));
}

std::string Body(rest::Message type, const std::string& fwType) {
    web::json::value body = rest::WriteEnvelope(rest::MessageType(type), {});
    body["fw_type"] = web::json::value::string(fwType);
    return body.serialize();
}

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string Dashed(std::string text) {
    std::replace(text.begin(), text.end(), '.', '-');
    return text;
}

}  // namespace

FirmwareAnswer AskUpgradePkgVersion(VeltaBase& base, const std::string& fwType) {
    FirmwareAnswer answer;
    answer.exchange = base.Send("PUT", QueryFor(rest::Message::GetUpgradePkgVersion),
                                Body(rest::Message::GetUpgradePkgVersion, fwType));
    if (fwType != "velta") {
        // The camera says so in plain text, not as a record.
        if (!answer.exchange.error.empty() || answer.exchange.reply != "Unsupported firmware type") {
            answer.problems.push_back("an unsupported firmware type was not refused");
        }
        return answer;
    }
    const auto reply = ReplyObject(answer);
    if (!reply) {
        return answer;
    }
    CheckType(answer, *reply, rest::Message::GetUpgradePkgVersion);
    if (Member(answer, *reply, "fw_type") != fwType) {
        answer.problems.push_back("fw_type is not the one asked for");
    }
    answer.version = Member(answer, *reply, "version");
    if (answer.version.empty()) {
        answer.problems.push_back("empty version");
    }
    return answer;
}

FirmwareAnswer AskUpgradePkg(VeltaBase& base, const std::string& fwType) {
    FirmwareAnswer answer;
    answer.exchange =
        base.Send("GET", QueryFor(rest::Message::GetUpgradePkg), Body(rest::Message::GetUpgradePkg, fwType));
    CheckLocation(answer, fwType == "velta" ? "" : "Unsupported firmware type");
    return answer;
}

FirmwareAnswer AskCameraConfig(VeltaBase& base, const std::string& msgType) {
    FirmwareAnswer answer;
    const auto type = rest::MessageType(rest::Message::GetCameraConfig);
    answer.exchange =
        base.Send("GET", QueryFor(rest::Message::GetCameraConfig), rest::WriteEnvelope(msgType, {}).serialize());
    const bool proper = msgType == type;
    CheckLocation(answer, proper ? "" : "Invalid message request type: " + msgType);
    if (proper && answer.result != "OK" && answer.result != "File not found") {
        answer.problems.push_back("unexpected result for the configuration");
    }
    return answer;
}

std::string Describe(const FirmwareAnswer& answer) {
    std::ostringstream line;
    line << Describe(answer.exchange, 0);
    if (!answer.version.empty()) {
        line << " version=" << answer.version;
    }
    if (!answer.result.empty()) {
        line << " result=\"" << answer.result << "\" uri=\"" << answer.uri << '"';
    }
    line << (answer.Sound() ? " [sound]" : " [PROBLEM]");
    for (const auto& problem : answer.problems) {
        line << " " << problem << ';';
    }
    return line.str();
}

std::string TarArchive(const std::string& fileName, const std::string& content) {
    constexpr std::size_t kBlock = 512;
    std::array<char, kBlock> header{};
    std::snprintf(header.data(), 100, "%s", fileName.c_str());
    std::snprintf(header.data() + 100, 8, "%07o", 0644u);
    std::snprintf(header.data() + 108, 8, "%07o", 0u);
    std::snprintf(header.data() + 116, 8, "%07o", 0u);
    std::snprintf(header.data() + 124, 12, "%011llo", static_cast<unsigned long long>(content.size()));
    std::snprintf(header.data() + 136, 12, "%011o", 0u);
    header[156] = '0';
    std::memcpy(header.data() + 257,
                "ustar\0"
                "00",
                8);
    std::memset(header.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header) {
        sum += static_cast<unsigned char>(c);
    }
    std::snprintf(header.data() + 148, 8, "%06o", sum);
    const std::size_t padding = (kBlock - content.size() % kBlock) % kBlock;
    return std::string(header.data(), header.size()) + content + std::string(padding + 2 * kBlock, '\0');
}

FirmwareArea::FirmwareArea(FirmwareAreaSetup setup) : dir(std::make_unique<TempDir>()) {
    const std::string folder = dir->path().string();
    if (folder.find('.') != std::string::npos || folder.find("scratch") != std::string::npos) {
        throw std::runtime_error("temporary folder " + folder + " holds a dot or \"scratch\"; set TMPDIR elsewhere");
    }
    const std::string stem = setup.version.empty() ? "velta-base" : "velta-base-" + setup.version;
    imageName = stem + ".tar";
    zipName = Dashed(imageName) + ".zip";

    std::string versionFile = "# dock firmware package held by the camera\nname=velta-base\n";
    if (!setup.version.empty()) {
        versionFile += "version=" + setup.version + "\n";
    }
    versionFile += "location=" + Image() + "\n";
    WriteFile(VersionFile(), versionFile);
    if (setup.image) {
        const std::string manifest = "velta base firmware " + setup.version + "\n";
        WriteFile(Image(), setup.tarImage ? TarArchive("manifest.txt", manifest) : manifest);
    }
    if (setup.zipPackage) {
        // An empty zip archive: the end-of-central-directory record alone.
        WriteFile(ZipPackage(), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    }
    if (setup.validMarker) {
        WriteFile(ValidMarker(), "");
    }
    if (setup.config) {
        WriteFile(ConfigFile(), "[camera]\nserial=PMX-SIM-0001\nupload=wifi\n");
    }
}

FirmwareArea::~FirmwareArea() = default;

void FirmwareArea::Apply(FileEnvironment& files) const {
    files.firmwareVersionFile = VersionFile();
    files.firmwareValidMarker = ValidMarker();
    files.configFile = ConfigFile();
}

std::string FirmwareArea::Folder() const {
    return dir->path().string();
}
std::string FirmwareArea::VersionFile() const {
    return (dir->path() / "scratch/velta_fw_version").string();
}
std::string FirmwareArea::ValidMarker() const {
    return (dir->path() / "scratch/velta_fw_valid").string();
}
std::string FirmwareArea::Image() const {
    return (dir->path() / "scratch/fw" / imageName).string();
}
std::string FirmwareArea::ZipPackage() const {
    return (dir->path() / "scratch/tmp/fw" / zipName).string();
}
std::string FirmwareArea::ConfigFile() const {
    return (dir->path() / "camera/camera.conf").string();
}

}  // namespace tvo::DockSim
