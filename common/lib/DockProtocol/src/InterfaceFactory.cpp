#include <DockProtocol/InterfaceFactory.h>

#include <DockProtocol/DockProtoDefault.h>
#include <DockProtocol/DockProtoDravo.h>
#include <DockProtocol/DockProtoVelta.h>
#include <DockProtocol/DockProtoOskin.h>
#include <DockProtocol/DockProtoPallix.h>

namespace tvo {

// Filled during the library's static initialisation and only read afterwards,
// so Create needs no lock. Insertion keeps the first entry of a key.
template <>
template <>
std::unordered_map<std::string_view, std::function<std::unique_ptr<DockProtoIF>(std::string_view, DockCallbackIF*)>>
    IF<DockProtoIF>::ifConstructors<std::string_view, DockCallbackIF*>{
        {"DefaultIF", IFConstructor<DockProtoDefault, std::string_view, DockCallbackIF*>},
        {DockProtoDravo::Name, IFConstructor<DockProtoDravo, std::string_view, DockCallbackIF*>},
        {DockProtoVelta::Name, IFConstructor<DockProtoVelta, std::string_view, DockCallbackIF*>},
        {DockProtoOskin::Name, IFConstructor<DockProtoOskin, std::string_view, DockCallbackIF*>},
        {DockProtoPallix::Name, IFConstructor<DockProtoPallix, std::string_view, DockCallbackIF*>},
    };

template std::unique_ptr<DockProtoIF> InterfaceFactory::Create<DockProtoIF, std::string_view, DockCallbackIF*>(
    std::string_view, std::string_view, DockCallbackIF*);

}  // namespace tvo
