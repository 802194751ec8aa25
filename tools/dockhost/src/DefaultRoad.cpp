#include "Roads.h"

#include <DockProtocol/DockProtocol.h>

namespace dockhost {

using Dock = tvo::DockProtoIF;

void RunDefaultRoad(const RoadOptions& options, RoadReport& report) {
    auto object =
        tvo::InterfaceFactory::Create<Dock, std::string_view, tvo::DockCallbackIF*>(options.dock, "", nullptr);
    const Driven dock(options, *object);
    report.Note("protocol object: " + std::string(dock->GetName()));

    report.Step("SayHello", dock->SayHello(), {ReturnCode::Failed});
    report.Step("SetSerialNumber", dock->SetSerialNumber("DEMO0001"), {ReturnCode::NotSupported});
    const auto network = dock->ProvisionNetwork();
    report.Step("ProvisionNetwork", network.code, {ReturnCode::NotSupported}, Describe(network.value));
    const auto server = dock->GetServerInfo();
    report.Step("GetServerInfo", server.code, {ReturnCode::NotSupported}, {{"serverInfo", Describe(server.value)}});
    report.Step("SetUploadStatus", dock->SetUploadStatus(Dock::UploadStatus::Uploading), {ReturnCode::NotSupported});
    report.Step("SetChargeStatus", dock->SetChargeStatus(Dock::ChargeStatus::Charging), {ReturnCode::NotSupported});
    const auto fault = dock->GetChargeFault();
    report.Step("GetChargeFault", fault.code, {ReturnCode::NotSupported}, {{"fault", std::to_string(fault.value)}});
    const auto network_check = dock->CheckNetwork();
    report.Step("CheckNetwork", network_check.code, {ReturnCode::NotSupported},
                {{"value", std::to_string(network_check.value)}});
}

}  // namespace dockhost
