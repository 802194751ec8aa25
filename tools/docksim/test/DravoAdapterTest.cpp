// The emulated adapter answers as the kernel and its drivers would, so that
// the camera code meets the same refusals as on a real cradle.

#include <DockSim/DravoCradle.h>

#include <gtest/gtest.h>

#include <linux/ethtool.h>
#include <linux/mii.h>
#include <linux/sockios.h>
#include <net/if.h>

#include <cstring>

namespace tvo::DockSim {
namespace {

struct Answer {
    int result;
    int error;
};

// One ioctl as the camera builds it: an ifreq naming the interface, the
// ethtool buffer behind ifr_data.
Answer Request(DravoAdapter& adapter, unsigned long request, void* data, const char* name = "eth0", int fd = 3) {
    ifreq req{};
    std::strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    req.ifr_data = static_cast<char*>(data);
    errno = 0;
    const int result = adapter.Ioctl(fd, request, reinterpret_cast<char*>(&req));
    return {result, errno};
}

Answer Eeprom(DravoAdapter& adapter, std::uint32_t command, std::uint32_t magic, std::uint32_t offset,
              std::uint32_t length, unsigned char fill = 0) {
    std::vector<unsigned char> buffer(sizeof(ethtool_eeprom) + std::min(length, 4096u), fill);
    const ethtool_eeprom header{command, magic, offset, length};
    std::memcpy(buffer.data(), &header, sizeof header);
    return Request(adapter, SIOCETHTOOL, buffer.data());
}

TEST(DravoAdapter, EepromRangesAndMagicAreCheckedAsTheKernelDoes) {
    for (const auto chip : {DravoChip::Lan7850, DravoChip::Ax88179}) {
        DravoAdapterSettings settings;
        settings.chip = chip;
        DravoAdapter adapter(settings);
        const auto size = static_cast<std::uint32_t>(DravoAdapter::EepromSize(chip));
        const auto magic = DravoAdapter::Magic(chip);
        SCOPED_TRACE(std::string(ChipName(chip)));

        EXPECT_EQ(Eeprom(adapter, ETHTOOL_GEEPROM, 0, 0, size).result, 0);
        for (const auto& [offset, length] :
             {std::pair<std::uint32_t, std::uint32_t>{0, size + 1}, {size - 1, 2}, {0, 0}, {0xFFFFFFFF, 2}}) {
            const auto refused = Eeprom(adapter, ETHTOOL_GEEPROM, 0, offset, length);
            EXPECT_EQ(refused.result, -1) << offset << '+' << length;
            EXPECT_EQ(refused.error, EINVAL) << offset << '+' << length;
        }
        EXPECT_EQ(Eeprom(adapter, ETHTOOL_SEEPROM, magic + 1, 0x40, 1, 0x77).error, EINVAL);
        EXPECT_EQ(adapter.Eeprom()[0x40], 0) << "a refused write changes nothing";
        EXPECT_EQ(Eeprom(adapter, ETHTOOL_SEEPROM, magic, 0x40, 1, 0x77).result, 0);
        EXPECT_EQ(adapter.Eeprom()[0x40], 0x77);
        ASSERT_EQ(adapter.EepromWrites().size(), 1u);
    }
    // The camera's whole-image read does not fit the ax88179's EEPROM.
    DravoAdapterSettings axSettings;
    axSettings.chip = DravoChip::Ax88179;
    DravoAdapter ax(axSettings);
    EXPECT_EQ(Eeprom(ax, ETHTOOL_GEEPROM, 0, 0, 512).error, EINVAL);
}

TEST(DravoAdapter, RefusesWhatTheKernelRefusesAndFailsOnRequest) {
    DravoAdapterSettings settings;
    settings.failRequest = 5;
    settings.failErrno = EIO;
    DravoAdapter adapter(settings);
    std::uint32_t unknownCommand = 0x7777;
    EXPECT_EQ(Request(adapter, SIOCETHTOOL, &unknownCommand).error, EOPNOTSUPP);
    EXPECT_EQ(Request(adapter, SIOCGIFMTU, &unknownCommand).error, ENOTTY);
    EXPECT_EQ(Request(adapter, SIOCETHTOOL, &unknownCommand, "eth1").error, ENODEV);
    EXPECT_EQ(Request(adapter, SIOCETHTOOL, &unknownCommand, "eth0", -1).error, EBADF);
    EXPECT_EQ(Eeprom(adapter, ETHTOOL_GEEPROM, 0, 0, 1).result, 0);
    EXPECT_EQ(Eeprom(adapter, ETHTOOL_GEEPROM, 0, 0, 1).error, EIO) << "the fifth request";
    EXPECT_EQ(Eeprom(adapter, ETHTOOL_GEEPROM, 0, 0, 1).result, 0);
}

TEST(DravoAdapter, DriverNameFillsTheFieldWithoutTerminatorWhenLong) {
    DravoAdapterSettings settings;
    settings.driverName = std::string(40, 'd');
    DravoAdapter adapter(settings);
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ASSERT_EQ(Request(adapter, SIOCETHTOOL, &info).result, 0);
    EXPECT_EQ(std::string(info.driver, sizeof info.driver), std::string(32, 'd'));
    EXPECT_EQ(info.eedump_len, 512u);
}

TEST(DravoAdapter, PhyWritesAreRecordedAndInterfaceQueriesAnswered) {
    DravoCradleSetup setup;
    setup.chip = DravoChip::Ax88179;
    setup.mac = DravoAdapterMac(7);
    DravoCradle cradle(setup);
    auto& adapter = cradle.Adapter();

    ifreq req{};
    std::strcpy(req.ifr_name, "eth0");
    auto* mii = reinterpret_cast<mii_ioctl_data*>(&req.ifr_ifru);
    ASSERT_EQ(adapter.Ioctl(3, SIOCGMIIPHY, reinterpret_cast<char*>(&req)), 0);
    EXPECT_EQ(mii->phy_id, 3);
    mii->reg_num = 255;
    mii->val_in = 0x8982;
    ASSERT_EQ(adapter.Ioctl(3, SIOCSMIIREG, reinterpret_cast<char*>(&req)), 0);
    ASSERT_EQ(adapter.PhyWrites().size(), 1u);
    EXPECT_EQ(adapter.PhyWrites()[0].value, 0x8982);

    const auto environment = cradle.Environment();
    EXPECT_EQ(environment.system.interfaceMac("eth0"), std::vector<std::byte>(setup.mac.begin(), setup.mac.end()));
    EXPECT_TRUE(environment.system.interfaceUp("eth0"));
    EXPECT_EQ(environment.system.interfaceIp("eth0"), "10.20.30.40");
    adapter.Settings().up = false;
    adapter.Settings().ipAddress.clear();
    EXPECT_FALSE(environment.system.interfaceUp("eth0"));
    EXPECT_EQ(environment.system.interfaceIp("eth0"), "");
    EXPECT_TRUE(environment.system.interfaceMac("wlan0").empty());
}

}  // namespace
}  // namespace tvo::DockSim
