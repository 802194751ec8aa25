#include <DockSim/DravoCradle.h>
#include <DockSim/TestEnvironment.h>

#include <TestSupport/TestSupport.h>

#include <Common/Network.h>

#include <algorithm>
#include <cerrno>

namespace tvo::DockSim {

struct DravoCradle::State {
    explicit State(DravoCradleSetup setup)
        : setup(std::move(setup)),
          adapter(DravoAdapterSettings{this->setup.chip, this->setup.interfaceName, this->setup.driverName,
                                       this->setup.mac, this->setup.up, this->setup.ipAddress, this->setup.failRequest,
                                       this->setup.failErrno}) {}

    DravoCradleSetup setup;
    TempDir files;  // the camera-side files of the environments handed out
    VirtualClock clock;
    DravoAdapter adapter;
    std::optional<DravoDock> dock;
};

namespace {

constexpr std::size_t kAdapterPart = 128;

class CradleLinuxApi : public LinuxApiIF {
public:
    explicit CradleLinuxApi(std::shared_ptr<DravoCradle::State> state) : state(std::move(state)) {}

    int ioctl(int fd, unsigned long request, char* arg) override {
        const int result = state->adapter.Ioctl(fd, request, arg);
        const int error = errno;
        // A dock that reacts at once does so before the camera's next request.
        state->clock.RunDue();
        errno = error;
        return result;
    }

private:
    std::shared_ptr<DravoCradle::State> state;
};

}  // namespace

DravoCradleSetup CradleSetupFor(const DravoConfiguration& configuration) {
    DravoCradleSetup setup;
    setup.chip = configuration.chip;
    setup.image = BuildDravoImage(configuration);
    setup.mac = DravoAdapterMac(configuration.slot);
    return setup;
}

DravoCradle::DravoCradle(DravoCradleSetup setup) : state(std::make_shared<State>(std::move(setup))) {
    auto& eeprom = state->adapter.Eeprom();
    const auto& image = state->setup.image;
    if (state->setup.chip == DravoChip::Lan7850) {
        std::copy(image.begin(), image.end(), eeprom.begin());
        return;
    }
    // The ax88179 cradle keeps the configuration in the dock, not the EEPROM.
    std::copy(image.begin(), image.begin() + kAdapterPart, eeprom.begin());
    DravoDock::Payload payload;
    std::copy(image.begin() + kAdapterPart, image.end(), payload.begin());
    state->dock.emplace(state->adapter, state->clock, payload, state->setup.faults, state->setup.reaction);
    state->adapter.SetWriteListener(
        [dock = &*state->dock](std::uint32_t offset, std::uint32_t length) { dock->OnCameraWrite(offset, length); });
    Redock();
}

DravoCradle::~DravoCradle() = default;

std::unique_ptr<LinuxApiIF> DravoCradle::MakeLinuxApi() const {
    return std::make_unique<CradleLinuxApi>(state);
}

ProtocolEnvironment DravoCradle::Environment() const {
    ProtocolEnvironment environment = TestEnvironment(state->files.path().string());
    environment.dravo.interfaceName = state->setup.interfaceName;
    auto shared = state;
    environment.system.makeLinuxApi = [shared] {
        return std::unique_ptr<LinuxApiIF>(std::make_unique<CradleLinuxApi>(shared));
    };
    environment.system.sleep = [shared](std::chrono::nanoseconds interval) { shared->clock.Sleep(interval); };
    environment.system.interfaceMac = [shared](std::string_view name) {
        CradleLinuxApi api(shared);
        return GetInterfaceMAC(name, api);
    };
    environment.system.interfaceUp = [shared](std::string_view name) {
        CradleLinuxApi api(shared);
        return IsInterfaceUp(name, api);
    };
    environment.system.interfaceIp = [shared](std::string_view name) {
        CradleLinuxApi api(shared);
        return GetInterfaceIp(name, api);
    };
    return environment;
}

VirtualClock& DravoCradle::Clock() {
    return state->clock;
}
DravoAdapter& DravoCradle::Adapter() {
    return state->adapter;
}
DravoDock* DravoCradle::Dock() {
    return state->dock ? &*state->dock : nullptr;
}
const DravoCradleSetup& DravoCradle::Setup() const {
    return state->setup;
}

void DravoCradle::Redock() {
    if (state->dock) {
        state->dock->PowerUp();
        state->clock.RunDue();
    }
}

}  // namespace tvo::DockSim
