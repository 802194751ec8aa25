#pragma once
// The records that cross the host's interface, as a recording writes them.

#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/OskinDockCallbackIF.h>

#include <cpprest/json.h>

#include <string>

namespace tvo::Recording {

const char* CodeName(DockProtoIF::ReturnCode code);
web::json::value Record(const DockProtoIF::NetworkConfig& config);
web::json::value Record(const DockProtoIF::AssociationInfo& association);
web::json::value Record(const DockProtoIF::ServerInfo& info);
web::json::value Record(const std::vector<OskinDockCallbackIF::Capability>& capabilities);
web::json::value Record(const OskinDockCallbackIF::ProvisioningStatus& status);

// The same records read back; fields that are missing keep their defaults.
DockProtoIF::ReturnCode CodeFrom(const std::string& name);
std::vector<OskinDockCallbackIF::Capability> CapabilitiesFrom(const web::json::value& record);
OskinDockCallbackIF::ProvisioningStatus ProvisioningFrom(const web::json::value& record);

}  // namespace tvo::Recording
