#pragma once
// A serial device served over the network: "rfc2217://HOST:PORT" (telnet with the COM port
// option, so the client sets the rate and purges), "rfc2217s://HOST:PORT" (the same inside
// TLS, the server's certificate checked against the system's authorities or the file or
// folder SERVO_TLS_CA names) or "tcp://HOST:PORT" (raw bytes at the rate the server was set
// up with). It behaves as a local port: total time-outs per read
// and per write, and a connection that closes or resets is a port gone.

#include "serial/Port.h"

#include <memory>
#include <string>

// Whether `name` names a network port (rfc2217://, rfc2217s:// or tcp://).
bool IsNetworkPortName(const std::string& name);

// Where a network port name leads; false when it is not one or its host or port is missing.
struct NetworkAddress {
    bool rfc2217 = false;
    bool tls = false;
    std::string host;
    std::string port;
};
bool ParseNetworkPortName(const std::string& name, NetworkAddress& address);

// A network port, or where this build has none, a port whose Open says so.
std::unique_ptr<Port> MakeNetworkPort();

// How long a connection may take to be made before the open fails.
inline constexpr int kConnectTimeoutMs = 3000;
