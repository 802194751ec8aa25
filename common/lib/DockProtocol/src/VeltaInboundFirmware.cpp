// The base's requests for the dock firmware package and the camera
// configuration. The replies only name files (the base fetches them by other
// means); the files are opened to see whether they can be read, and the tar
// test reads the image's first block.
//
// Only the platform's own files decide which paths appear in a reply: the
// version file, the marker and the configuration come from the environment,
// the image location from the version file. Nothing the base sends becomes
// part of a path.

#include "DockProtoVeltaImpl.h"

#include <Common/VersionInfo.h>
#include <FileSystem/SafeFile.h>
#include <Logger/LogClient.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace tvo {
namespace {

constexpr std::string_view kVeltaFirmware = "velta";
constexpr std::string_view kCameraConfigRequest = "get_camera_config";
constexpr std::string_view kNoVersion = "0.0.0.0";
constexpr std::string_view kResultOk = "OK";
constexpr std::string_view kResultNotFound = "File not found";
constexpr std::string_view kResultUnsupported = "Unsupported firmware type";
constexpr std::string_view kResultNoLocation = "Version File does not contain FW image location";

// Only a regular file is one the base could fetch; a FIFO must not hold a
// server thread waiting for a writer, and a directory is no file.
bool IsReadableFile(const FileCalls& calls, const std::string& path) {
    return OpenRegularFile(path, calls).IsOpen();
}

bool IsTarImage(const FileCalls& calls, const std::string& path) {
    const FileDescriptor image = OpenRegularFile(path, calls);
    return image.IsOpen() && VersionInfo::IsTarFileCheck(image.Get());
}

// The image location is trusted only as a plain absolute path: no "." or
// ".." components, so that neither the reply nor the clean-up can be steered
// out of the firmware area by an odd version file.
bool IsPlainAbsolutePath(const std::string& path) {
    if (!IsUsablePath(path)) {
        return false;
    }
    const std::filesystem::path candidate(path);
    if (!candidate.is_absolute()) {
        return false;
    }
    for (const auto& component : candidate.relative_path()) {
        if (component == "." || component == "..") {
            return false;
        }
    }
    return true;
}

// The image location named by the version file, or "" when there is none
// that may be used.
std::string ImageLocation(const std::string& versionFile) {
    std::string location = VersionInfo::GetField(VersionInfo::Field::Location, versionFile);
    if (!location.empty() && !IsPlainAbsolutePath(location)) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "FW image location is not a plain absolute path, ignored: " << location;
        location.clear();
    }
    return location;
}

// The zip package that the base downloads is kept beside the tar image in
// the scratch area's tmp folder, its name the image's with every dot turned
// into a dash. Empty when the image is not in a scratch area.
std::string ZipPackagePath(std::string image) {
    constexpr std::string_view kScratch = "scratch";
    const auto scratch = image.find(kScratch);
    if (scratch == std::string::npos) {
        return {};
    }
    image.insert(scratch + kScratch.size(), "/tmp");
    for (char& c : image) {
        if (c == '.') {
            c = '-';
        }
    }
    return image + ".zip";
}

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

std::string Reply(std::string_view result, const std::string& uri) {
    rest::HttpGetResponseElement reply;
    reply.result = std::string(result);
    reply.uri = uri;
    return reply.ToJson().serialize();
}

}  // namespace

std::string DockProtoVeltaImpl::ProcessGetUpgradePkgVersion(web::json::value& body) {
    auto request = rest::GetUpgradePkgVersionElement::FromJson(body.as_object());
    if (request.fw_type != kVeltaFirmware) {
        return std::string(kResultUnsupported);
    }
    std::string version = VersionInfo::GetField(VersionInfo::Field::Version, files.firmwareVersionFile);
    const std::string image = ImageLocation(files.firmwareVersionFile);

    // A tar image not yet validated is no version the base may take.
    if (IsTarImage(*files.calls, image) && !IsReadableFile(*files.calls, files.firmwareValidMarker)) {
        version = kNoVersion;
    }
    if (version.empty()) {
        version = kNoVersion;
    }
    request.version = version;
    PMX_LOG(LogLevel::Detail, kLogCategoryRest)
        << "GetUpgradePkgVersion request type=" << request.fw_type << " version=" << request.version;
    return request.ToJson().serialize();
}

std::string DockProtoVeltaImpl::ProcessGetUpgradePkg(web::json::value& body) {
    const auto request = rest::GetUpgradePkgElement::FromJson(body.as_object());
    if (request.fw_type != kVeltaFirmware) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << kResultUnsupported;
        return Reply(kResultUnsupported, "");
    }
    const std::string image = ImageLocation(files.firmwareVersionFile);
    if (image.empty()) {
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << kResultNoLocation;
        return Reply(kResultNoLocation, "");
    }

    std::string path = image;
    if (IsReadableFile(*files.calls, image)) {
        if (IsTarImage(*files.calls, image)) {
            // Without a scratch area there is no zip package to name: answered
            // as a missing package, so that the image is provided again.
            path = ZipPackagePath(image);
            if (path.empty()) {
                PMX_LOG(LogLevel::Error, kLogCategoryRest)
                    << "FW image is not in a scratch area, no zip package to name: " << image;
            } else {
                PMX_LOG(LogLevel::Info, kLogCategoryRest) << "adjusted file path to zip file " << path;
            }
        }
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "FW download request " << path;
    }

    if (IsReadableFile(*files.calls, path)) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "FW download request " << path << " file found";
        return Reply(kResultOk, path);
    }
    PMX_LOG(LogLevel::Error, kLogCategoryRest) << "FW download request " << path << " file not found";

    // A package that cannot be served is dropped with its marker, so that
    // the next version request says there is none.
    if (files.calls->unlink(files.firmwareValidMarker.c_str()) != 0) {
        const int error = errno;
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Failed to remove velta valid file marker : " << files.firmwareValidMarker
            << " error: " << ErrorText(error);
    }
    if (files.calls->unlink(image.c_str()) != 0) {
        const int error = errno;
        PMX_LOG(LogLevel::Error, kLogCategoryRest)
            << "Failed to remove old velta firmware : " << image << " error: " << ErrorText(error);
    }
    return Reply(kResultNotFound, "");
}

std::string DockProtoVeltaImpl::ProcessGetCameraConfig(web::json::value& body) {
    const std::string& path = files.configFile;
    const std::string type = rest::RequiredString(body.as_object(), "msg_type");
    if (type != kCameraConfigRequest) {
        const std::string result = "Invalid message request type: " + type;
        PMX_LOG(LogLevel::Error, kLogCategoryRest) << result;
        return Reply(result, "");
    }
    if (IsReadableFile(*files.calls, path)) {
        PMX_LOG(LogLevel::Detail, kLogCategoryRest) << "Camera config download request " << path << " file found";
        return Reply(kResultOk, path);
    }
    PMX_LOG(LogLevel::Error, kLogCategoryRest) << "Camera config download request " << path << " file not found";
    return Reply(kResultNotFound, "");
}

}  // namespace tvo
