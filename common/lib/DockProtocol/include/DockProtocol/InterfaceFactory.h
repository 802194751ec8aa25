#pragma once
// The host's entry point: a protocol object by dock-type name. Unknown names
// yield the do-nothing default protocol, so the host always gets an object.

#include <DockProtocol/Export.h>
#include <DockProtocol/DockProtoIF.h>

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace tvo {

template <typename T>
struct PMX_DOCKPROTOCOL_API IF {
    // Keys are string literals with static storage: the map never owns them.
    template <typename... Args>
    static std::unordered_map<std::string_view, std::function<std::unique_ptr<T>(Args...)>>
        ifConstructors;
};

template <typename C, typename... Args>
std::unique_ptr<C> IFConstructor(Args... args) {
    return std::make_unique<C>(std::forward<Args>(args)...);
}

class PMX_DOCKPROTOCOL_API InterfaceFactory {
public:
    template <typename T, typename... Args>
    static std::unique_ptr<T> Create(std::string_view name, Args... args) {
        auto& constructors = IF<T>::template ifConstructors<Args...>;
        if (auto found = constructors.find(name); found != constructors.end()) {
            return found->second(args...);
        }
        return constructors.at("DefaultIF")(args...);
    }
};

// The library's one instantiation, defined with the registry.
template <>
template <>
std::unordered_map<std::string_view,
                   std::function<std::unique_ptr<DockProtoIF>(std::string_view, DockCallbackIF*)>>
    IF<DockProtoIF>::ifConstructors<std::string_view, DockCallbackIF*>;

extern template std::unique_ptr<DockProtoIF>
InterfaceFactory::Create<DockProtoIF, std::string_view, DockCallbackIF*>(std::string_view,
                                                                          std::string_view,
                                                                          DockCallbackIF*);

}  // namespace tvo
