/// \file
/// Everything a host needs to drive a dock: include this one header.
#pragma once
// Everything a host needs to drive a dock.

#include <DockProtocol/DockCallbackIF.h>
#include <DockProtocol/DockProtoDravo.h>
#include <DockProtocol/DockProtoIF.h>
#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/DockProtoPallix.h>
#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/EthtoolEeprom.h>
#include <DockProtocol/InterfaceFactory.h>
#include <DockProtocol/OskinDockCallbackIF.h>
#include <DockProtocol/ProtocolEnvironment.h>
#include <DockProtocol/RestHandle.h>
#include <DockProtocol/RestMessages.h>
