#pragma once
// The environment's inbound limits in the form the HTTP server takes.

#include <DockProtocol/ProtocolEnvironment.h>
#include <HttpRest/HttpServer.h>

namespace tvo {

inline HttpServer::Limits InboundHttpLimits(const InboundLimits& inbound) {
    HttpServer::Limits limits;
    limits.headerTimeout = inbound.headerTimeout;
    limits.bodyTimeout = inbound.bodyTimeout;
    limits.idleTimeout = inbound.idleTimeout;
    return limits;
}

}  // namespace tvo
