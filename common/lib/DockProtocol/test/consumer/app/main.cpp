#include <DockProtocol/DockProtocol.h>

#include <iostream>

int main() {
    auto dock = tvo::InterfaceFactory::Create<tvo::DockProtoIF, std::string_view,
                                              tvo::DockCallbackIF*>("NoSuchDock", "", nullptr);
    const auto info = dock->GetServerInfo();
    std::cout << dock->GetName() << ' ' << info.code << ' ' << info.value << '\n';
    return 0;
}
