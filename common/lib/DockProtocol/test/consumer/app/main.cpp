#include <DockProtocol/DockProtocol.h>

#include <iostream>

// The package must leave the host's own definitions alone.
#ifdef _TURN_OFF_PLATFORM_STRING
#error "the package forced _TURN_OFF_PLATFORM_STRING on the host"
#endif

int main() {
    auto dock = tvo::InterfaceFactory::Create<tvo::DockProtoIF, std::string_view, tvo::DockCallbackIF*>("NoSuchDock",
                                                                                                        "", nullptr);
    const auto info = dock->GetServerInfo();
    std::cout << dock->GetName() << ' ' << info.code << ' ' << info.value << '\n';
    return 0;
}
