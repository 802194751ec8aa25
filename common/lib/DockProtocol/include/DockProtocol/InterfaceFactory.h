/// \file
/// `tvo::InterfaceFactory`, the host's entry point: a protocol object by
/// dock-type name.
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
/// The registry behind InterfaceFactory: constructors of the objects of an
/// interface, by name. Hosts do not need it.
/// \tparam T the interface made (the library registers DockProtoIF).
struct PMX_DOCKPROTOCOL_API IF {
    // Keys are string literals with static storage: the map never owns them.
    template <typename... Args>
    /// Constructor of each registered class by name, for the constructor
    /// arguments `Args`. The library fills `ifConstructors<std::string_view,
    /// DockCallbackIF*>` of DockProtoIF during its static initialisation with
    /// "DefaultIF", "Dravo", "Velta", "Oskin" and "Pallix"; it is only read
    /// afterwards.
    static std::unordered_map<std::string_view, std::function<std::unique_ptr<T>(Args...)>> ifConstructors;
};

template <typename C, typename... Args>
/// A new `C` made from `args`: what each registry entry holds.
/// \tparam C the class made.
std::unique_ptr<C> IFConstructor(Args... args) {
    return std::make_unique<C>(std::forward<Args>(args)...);
}

/// The host's entry point: makes protocol objects by dock-type name.
class PMX_DOCKPROTOCOL_API InterfaceFactory {
public:
    template <typename T, typename... Args>
    /// Makes the protocol object registered under `name`.
    ///
    /// Use it as `InterfaceFactory::Create<DockProtoIF, std::string_view,
    /// DockCallbackIF*>(name, "", callback)`. `name` is compared exactly (case
    /// matters): "Dravo", "Velta", "Oskin" or "Pallix"; any other name, the empty
    /// one included, yields a DockProtoDefault, silently. The text argument is
    /// ignored by every dock kind; `callback` is used only by the Oskin dock
    /// (see DockCallbackIF). The object returned is never null and uses the
    /// production setting (ProtocolEnvironment::Production()).
    ///
    /// Any thread may call it at any time; the registry is read-only. Exceptions
    /// of a constructor pass through (`std::bad_alloc`).
    /// \tparam T the interface: DockProtoIF.
    /// \tparam Args the constructor arguments: `std::string_view`, `DockCallbackIF*`.
    static std::unique_ptr<T> Create(std::string_view name, Args... args) {
        auto& constructors = IF<T>::template ifConstructors<Args...>;
        if (auto found = constructors.find(name); found != constructors.end()) {
            return found->second(args...);
        }
        return constructors.at("DefaultIF")(args...);
    }
};

// The library's one instantiation, defined with the registry.
/// The library's registry of dock kinds (defined in the library).
template <>
template <>
std::unordered_map<std::string_view, std::function<std::unique_ptr<DockProtoIF>(std::string_view, DockCallbackIF*)>>
    IF<DockProtoIF>::ifConstructors<std::string_view, DockCallbackIF*>;

/// The library's one instantiation of Create(); hosts link to it.
extern template std::unique_ptr<DockProtoIF> InterfaceFactory::Create<DockProtoIF, std::string_view, DockCallbackIF*>(
    std::string_view, std::string_view, DockCallbackIF*);

}  // namespace tvo
