#pragma once
// Ties the connections of an HttpClient to one network interface.

#include <functional>
#include <string>

#include <cpprest/http_client.h>

namespace tvo {

// The call-back for http_client_config::set_nativehandle_options. cpprestsdk
// hands it the connection's socket before connecting, still closed; the
// call-back opens it for the address family that the target host resolves to
// first (as the connect will) and, when interfaceName is not empty, binds it
// to that interface with SO_BINDTODEVICE, which also gives a link-local IPv6
// address its scope. Failures throw, which fails the request.
std::function<void(web::http::client::native_handle)> MakeInterfaceBinder(const std::string& interfaceName,
                                                                          const web::uri& target);

}  // namespace tvo
