#include "DockSim/TestEnvironment.h"

#include "TestSupport/TestSupport.h"

namespace tvo::DockSim {

ProtocolEnvironment TestEnvironment(const std::string& folder) {
    ProtocolEnvironment environment;
    auto in = [&folder](const char* name) { return folder + "/" + name; };

    auto& system = environment.system;
    system.pruneProvisionFile = [](std::string_view, std::string_view) {};
    system.toggleConnection = [](connman::ConnectionType, bool) { return connman::ToggleResult{true, ""}; };

    environment.dravo.interfaceName = kTestEthernetInterface;

    auto& velta = environment.velta;
    velta.baseAddress = "127.0.0.1";
    velta.basePort = 0;
    velta.listenAddress = "127.0.0.1";
    velta.listenPort = 0;
    velta.gadgetInterface = kTestGadgetInterface;
    velta.logPipe = in("wifilogpipe");

    auto& oskin = environment.oskin;
    oskin.listenAddress = "127.0.0.1";
    oskin.port = 0;
    oskin.gadgetInterface = kTestGadgetInterface;

    auto& pallix = environment.pallix;
    pallix.interfaceName = kTestGadgetInterface;
    pallix.hostsFile = in("hosts");

    auto& files = environment.files;
    files.configFile = in("camera.conf");
    files.mqttSupportMarker = in("enable_mqtt");
    files.firmwareValidMarker = in("velta_fw_valid");
    files.firmwareVersionFile = in("velta_fw_version");
    files.baseLogCopy = in("veltalog.txt");
    files.trimmedBaseLogCopy = in("veltalog_trimmed.txt");
    return environment;
}

std::shared_ptr<TempDir> MakeEnvironmentFolder() {
    return std::make_shared<TempDir>();
}

}  // namespace tvo::DockSim
