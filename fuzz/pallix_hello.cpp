// The Pallix discovery datagram as the camera reads it. A port is only found
// behind the magic and the field name, and never runs past a separator.

#include "FuzzSupport.h"

#include "DockProtoPallixImpl.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto port = tvo::DockProtoPallixImpl::ParseHello(text);
    if (!port) {
        return 0;
    }
    tvo::fuzz::Require(text.find("KORVEL-PSS-HELLO") != std::string_view::npos, "a port without the magic");
    const auto field = text.find("acsp=");
    tvo::fuzz::Require(field != std::string_view::npos, "a port without its field");
    tvo::fuzz::Require(port->find(',') == std::string::npos, "a port runs past its separator");
    tvo::fuzz::Require(text.substr(field + 5, port->size()) == *port, "a port not taken from its field");
    return 0;
}
