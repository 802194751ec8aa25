#pragma once
// A Dravo camera configuration as people write it, and the EEPROM image that
// carries it, in both directions.
//
// The description is "key = value" lines; blanks around key and value are
// dropped, a line starting with '#' is a comment, unknown keys are errors.
// Values may carry any byte as \xNN, and a backslash as \\.
//
//   chip = ax88179                      (or lan7850)
//   address-mode = 2                    (1 or 2)
//   ip = 10.1.2.3
//   netmask = 255.255.255.0
//   gateway = 10.1.2.1
//   dns = 10.1.2.53                     (0.0.0.0: the camera uses the gateway)
//   servers-by = name                   (or address: dotted IPv4 servers)
//   primary-server = evidence.example.com
//   secondary-server = backup.example.com
//   port = 8443
//   room = Briefing room
//   station = Station 4
//   tenant = 00112233-4455-6677-8899-aabbccddeeff
//   slot = 10                           (0-15: the adapter's MAC address ends in it)
//   checkout = true                     (this dock always offers the camera)
//   format = 1
//   charge-fault = 0
//   charge-status = 4
//
// The image is the camera's 512-byte copy for either chip: for the LAN78xx
// cradle it is the adapter EEPROM itself; for the ax88179 cradle its first
// 128 bytes are the adapter EEPROM's and the rest is what the dock hands over
// in six blocks.

#include <DockSim/DravoAdapter.h>

#include <Common/UUID.h>
#include <DockProtocol/DockProtoIF.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvo::DockSim {

using DravoImage = std::array<unsigned char, 512>;

struct DravoConfiguration {
    DravoChip chip = DravoChip::Lan7850;
    unsigned addressMode = 1;
    std::string ipAddress = "0.0.0.0";
    std::string netmask = "0.0.0.0";
    std::string gateway = "0.0.0.0";
    std::string dns = "0.0.0.0";
    bool serversByName = true;
    std::string primaryServer;
    std::string secondaryServer;
    unsigned port = 0;
    std::string roomDescription;
    std::string stationId;
    std::string tenantId = std::string(UUID::Nil);
    unsigned slot = 0;
    bool availableForCheckout = true;
    unsigned formatByte = 0;
    unsigned chargeFault = 0;
    unsigned chargeStatus = 0;
    // Flag bits that mean nothing to the camera; only an image read sets them.
    unsigned otherFlags = 0;
};

// Throws std::invalid_argument naming the line and what is wrong with it.
DravoConfiguration ParseDravoConfiguration(std::string_view text);
// imageOnly: what an image holds; slot and checkout become comments.
std::string FormatDravoConfiguration(const DravoConfiguration& configuration, bool imageOnly = false);

// Throws std::invalid_argument naming the field that cannot be stored.
DravoImage BuildDravoImage(const DravoConfiguration& configuration);
// Reads every field the image holds; slot and checkout are not among them.
DravoConfiguration ReadDravoImage(const DravoImage& image, DravoChip chip);

// The address of the adapter that serves the given cradle slot.
std::array<std::byte, 6> DravoAdapterMac(unsigned slot);

// Where the camera's report differs from the configuration, one text per
// field ("port: camera 80, configured 443"); empty when all agrees.
std::vector<std::string> DravoMismatches(const DravoConfiguration& configuration, const std::array<std::byte, 6>& mac,
                                         const DockProtoIF::NetworkConfig& network,
                                         const DockProtoIF::ServerInfo& server);

// A configuration that exercises every field, for demonstrations.
DravoConfiguration SampleDravoConfiguration(DravoChip chip);

}  // namespace tvo::DockSim
