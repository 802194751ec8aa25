#pragma once
// A datagram socket that takes a peer's messages on one link: the seam a
// dock's discovery goes through, so that tests hand in datagrams without a
// network.

#include <Common/Export.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tvo {

struct ReceivedDatagram {
    long size = -1;       // bytes received; -1 when none arrived (see error)
    int error = 0;        // errno when size is -1 (EAGAIN: nothing waiting)
    std::string payload;  // at most the size asked for
    std::string sender;   // the sender's address as text
};

class PMX_COMMON_API DatagramSocketIF {
public:
    virtual ~DatagramSocketIF();
    // Takes one waiting datagram without blocking, cut to maxBytes.
    virtual ReceivedDatagram Receive(std::size_t maxBytes) = 0;
};

// Why a socket could not be opened, in words fit for the log.
class PMX_COMMON_API DatagramSocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~DatagramSocketError() override;
};

// A non-blocking IPv6 UDP socket on every address at the port, bound to the
// named interface, with address reuse. Throws DatagramSocketError.
PMX_COMMON_API std::unique_ptr<DatagramSocketIF> OpenDatagramSocket(const std::string& interfaceName,
                                                                    std::uint16_t port);

}  // namespace tvo
