// The hosts-file entry check on an address and a name from the network: the
// first byte is the address's length, the rest is address, then name. An
// accepted call appends exactly the comment line and "<address>\t<name>\n",
// the address of [0-9a-fA-F.:] only, the name of [A-Za-z0-9.-] only; a
// refused call leaves the file alone. No NUL byte reaches the file: inet_pton
// alone stops at one and would let what follows it through.

#include "FuzzSupport.h"

#include "DockProtoPallixImpl.h"

#include <DockProtocol/ProtocolEnvironment.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kBefore = "127.0.0.1\tlocalhost\n::1\tlocalhost";  // no final newline
constexpr std::string_view kComment = "\n# Pallix address\n";

std::unique_ptr<tvo::DockProtoPallixImpl> pallix;
std::string hostsFile;

bool AllOf(std::string_view text, bool (*allowed)(unsigned char)) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [allowed](char c) { return allowed(static_cast<unsigned char>(c)); });
}

bool AddressByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' || c == ':';
}

bool NameByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
}

void CheckAdded(std::string_view added, const std::string& address, const std::string& name) {
    using tvo::fuzz::Require;
    const std::string expected = std::string(kComment) + address + '\t' + name + '\n';
    Require(added == expected, "the bytes added are not the comment line and the entry");
    Require(AllOf(name, NameByte), "the entry's name holds a byte outside its set");
    Require(AllOf(address, AddressByte), "the entry's address holds a byte outside its set");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    tvo::ProtocolEnvironment environment;
    hostsFile = tvo::fuzz::ScratchDir().file("hosts");
    environment.pallix.hostsFile = hostsFile;
    pallix = std::make_unique<tvo::DockProtoPallixImpl>(environment);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t addressLength = std::min<std::size_t>(data[0], size - 1);
    const std::string address(reinterpret_cast<const char*>(data) + 1, addressLength);
    const std::string name(reinterpret_cast<const char*>(data) + 1 + addressLength, size - 1 - addressLength);

    tvo::WriteFile(hostsFile, std::string(kBefore));
    const bool accepted = pallix->AddHostName(address, name);
    const std::string after = tvo::ReadFile(hostsFile);
    tvo::fuzz::Require(after.substr(0, kBefore.size()) == kBefore, "the file's earlier lines changed");
    if (!accepted) {
        tvo::fuzz::Require(after.size() == kBefore.size(), "a refused entry changed the file");
        return 0;
    }
    CheckAdded(std::string_view(after).substr(kBefore.size()), address, name);
    return 0;
}
