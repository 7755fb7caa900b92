#pragma once

#include <cstdint>

namespace velmora {

// Why a request cycle or a port operation failed. The link only names the cause; the jobs and
// front ends turn it into words.
enum class LinkError {
    None,
    PortGone,     // no port is open, or it failed under us (adapter unplugged)
    OpenFailed,   // the port could not be opened; osError tells why
    BadRate,      // the bit rate cannot be set on this port
    Timeout,      // nothing came back in time
    Garbled,      // bytes came back, but never a valid frame (CRC, station, function)
    Exception,    // the controller refused the request; exceptionCode tells why
    Mismatch,     // a valid frame that does not answer this request (byte count, echo)
    BadArgument,  // the request cannot be framed (count out of range, text too long)
};

struct LinkStatus {
    LinkError error = LinkError::None;
    std::uint8_t exceptionCode = 0;
    int osError = 0;

    bool ok() const { return error == LinkError::None; }
    static LinkStatus Failed(LinkError error) { return LinkStatus{error, 0, 0}; }
};

// A communication failure a user can act on (cable, controller, line), as opposed to a program
// error (BadArgument).
inline bool IsCommunicationFailure(const LinkStatus& status) {
    return !status.ok() && status.error != LinkError::BadArgument;
}

}  // namespace velmora
