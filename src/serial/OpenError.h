#pragma once
// Why a port would not open, as a reason a person can act on. Each face has its own words for
// the reasons: a new reason is one line here (before Other, which stays last) and one in each
// face's table.

#include <string>

enum class OpenError {
    None,
    NoSuchDevice,      // nothing under that name (or an adapter no longer there)
    PermissionDenied,  // the user may not open it: the group `dialout` on Linux
    Busy,              // held by another program
    NotSerialDevice,   // a file, a folder or another device, not a serial port
    Refused,           // a network port's server refused the connection
    HostNotFound,      // a network port's host name is not known
    ConnectTimeout,    // a network port's server did not answer within the connect time-out
    CertificateRefused,  // a TLS port's server certificate did not check out
    NoRfc2217,         // an rfc2217:// port's server never agreed to the COM port option
    ServerBusy,        // a network port's server kept its device for another connection
    Other,             // anything else; the system's own text says what
};

struct OpenFailure {
    OpenError reason = OpenError::None;
    // The system's (or the network library's) own words for the failure, if it gave any; a
    // busy network server's own words (its printable characters).
    std::string systemText;
};

// The reason for an error number of the system calls that open a port (errno on POSIX
// systems, GetLastError's value on Windows).
OpenError OpenErrorOf(int systemError);
