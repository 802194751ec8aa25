#pragma once
// The USB-Ethernet adapter of an emulated Dravo cradle as the camera's ioctls
// see it: ethtool driver information and EEPROM access with the kernel's
// checks and errnos, the PHY registers, and the interface queries of "eth0".

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvo::DockSim {

enum class DravoChip { Lan7850, Ax88179 };

// "lan7850" / "ax88179", as the command lines spell them.
std::string_view ChipName(DravoChip chip);
std::optional<DravoChip> ParseChip(std::string_view name);

struct DravoAdapterSettings {
    DravoChip chip = DravoChip::Lan7850;
    std::string interfaceName = "eth0";
    // Another driver name than the chip's; 32 characters or more fill the
    // kernel's field without a terminator.
    std::optional<std::string> driverName;
    std::array<std::byte, 6> mac{};
    bool up = true;
    std::string ipAddress = "10.20.30.40";  // empty: the interface has none
    // The request with this number (counting from 1) fails with failErrno.
    std::optional<unsigned> failRequest;
    int failErrno = EIO;
};

class DravoAdapter {
public:
    struct PhyWrite {
        std::uint16_t phyId;
        std::uint16_t reg;
        std::uint16_t value;
    };
    struct EepromWrite {
        std::uint32_t offset;
        std::vector<unsigned char> bytes;
    };
    using WriteListener = std::function<void(std::uint32_t offset, std::uint32_t length)>;

    // What the kernel drivers of the two chips report and require.
    static std::size_t EepromSize(DravoChip chip);
    static std::uint32_t Magic(DravoChip chip);
    static std::string_view Driver(DravoChip chip);
    static std::uint16_t PhyAddress(DravoChip chip);

    explicit DravoAdapter(DravoAdapterSettings settings);

    // LinuxApiIF::ioctl semantics: 0, or -1 with errno set.
    int Ioctl(int fd, unsigned long request, char* arg);

    std::vector<unsigned char>& Eeprom() { return eeprom; }
    const std::vector<unsigned char>& Eeprom() const { return eeprom; }
    DravoAdapterSettings& Settings() { return settings; }

    // Told after every EEPROM write that came through an ioctl.
    void SetWriteListener(WriteListener listener) { writeListener = std::move(listener); }

    const std::vector<PhyWrite>& PhyWrites() const { return phyWrites; }
    const std::vector<EepromWrite>& EepromWrites() const { return eepromWrites; }
    unsigned Requests() const { return static_cast<unsigned>(requestLog.size()); }
    unsigned Requests(unsigned long request) const;
    // Forgets the records below (benchmarks run many roads on one adapter).
    void ClearRecords();
    // Every request in order, failed ones included.
    const std::vector<unsigned long>& RequestLog() const { return requestLog; }

private:
    int Ethtool(char* user);
    int EepromAccess(char* user, bool write);

    DravoAdapterSettings settings;
    std::vector<unsigned char> eeprom;
    std::map<std::uint32_t, std::uint16_t> phyRegisters;
    std::vector<PhyWrite> phyWrites;
    std::vector<EepromWrite> eepromWrites;
    std::vector<unsigned long> requestLog;
    WriteListener writeListener;
};

}  // namespace tvo::DockSim
