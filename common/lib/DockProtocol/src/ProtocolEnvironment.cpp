#include <DockProtocol/ProtocolEnvironment.h>

#include "DockProtoVeltaImpl.h"

#include <Common/DatagramSocket.h>
#include <Common/FileLocations.h>
#include <Common/Network.h>
#include <HttpRest/HttpClient.h>
#include <HttpRest/HttpServer.h>

#include <cerrno>
#include <ctime>

namespace tvo {

void SleepFor(std::chrono::nanoseconds interval) {
    if (interval.count() <= 0) {
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
    timespec remaining{static_cast<time_t>(seconds.count()), static_cast<long>((interval - seconds).count())};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

SystemEnvironment::SystemEnvironment()
    : interfaceMac([](std::string_view name) { return GetInterfaceMAC(name); }),
      interfaceUp([](std::string_view name) { return IsInterfaceUp(name); }),
      interfaceIp([](std::string_view name) { return GetInterfaceIp(name); }),
      pruneProvisionFile(
          [](std::string_view first, std::string_view second) { connman::PruneProvisionFile(first, second); }),
      toggleConnection(
          [](connman::ConnectionType type, bool enable) { return connman::ToggleConnection(type, enable); }) {}

TransportEnvironment::TransportEnvironment()
    : makeHttpClient(MakeHttpClient), makeHttpServer(MakeHttpServer), openDiscoverySocket(OpenDatagramSocket) {}

// Set here rather than in the header so that the public header need not see
// the protocol's private constant, and the two cannot drift apart.
VeltaEnvironment::VeltaEnvironment() : logRequestTimeout(DockProtoVeltaImpl::DefaultVeltaLogRequestTimeout) {}

FileEnvironment::FileEnvironment()
    : configFile(ConfigFile()),
      mqttSupportMarker(EnableMQTTSupportFile()),
      firmwareValidMarker(GetVeltaFirmwareUpgradeValidFile()),
      firmwareVersionFile(kpbaseUpgradePkgVersionFile()),
      baseLogCopy(TmpVeltaLogFile()),
      trimmedBaseLogCopy(TmpTrimmedVeltaLogFile()) {}

const ProtocolEnvironment& ProtocolEnvironment::Production() {
    static const ProtocolEnvironment production;
    return production;
}

}  // namespace tvo
