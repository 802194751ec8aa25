#pragma once
// What a real dock needs of the machine the road runs on, so that a road that
// cannot go on says what is missing in one line instead of a string of
// failed steps.

#include <DockProtocol/ProtocolEnvironment.h>

#include <chrono>
#include <string>

namespace dockhost {

// Each returns the first thing missing, or "" when nothing is.
// The interface exists.
std::string MissingInterface(const std::string& interfaceName);
// The interface exists and holds the IPv4 address.
std::string MissingAddress(const std::string& interfaceName, const std::string& address);
// Something accepts a TCP connection at address:port within the limit.
std::string MissingListener(const std::string& address, int port, std::chrono::milliseconds limit);
// The interface exists and its driver is one of the cradle adapter chips.
std::string MissingAdapter(const std::string& interfaceName);

// The Velta dock's link, in the order a person would check it: the gadget
// interface, the camera's address on it, the base answering.
std::string MissingForVelta(const tvo::VeltaEnvironment& velta, std::chrono::milliseconds limit);

}  // namespace dockhost
