#pragma once
// Where an owner serves a port's bus and how the two ends reach each other, with the
// system's own means: a Unix-domain socket in a folder only the user may enter, or a named
// pipe that admits the same user only and refuses remote clients.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace share {

// One connection, either end. Calls from one thread at a time, except Shutdown.
class Stream {
public:
    virtual ~Stream() = default;
    // Sends all `n` bytes; false when the connection is gone.
    virtual bool Send(const uint8_t* bytes, size_t n) = 0;
    // Waits up to `timeoutMs` for bytes: how many came (> 0), 0 on time-out, -1 when the
    // connection ended (or Shutdown was called).
    virtual int Receive(uint8_t* bytes, size_t n, int timeoutMs) = 0;
    // Ends the connection; a Receive waiting on another thread returns -1. Any thread.
    virtual void Shutdown() = 0;
};

// The owner's end: the endpoint of one port name.
class Listener {
public:
    virtual ~Listener() = default;
    // Waits for the next client: nullptr on Wake or when the listener failed.
    virtual std::unique_ptr<Stream> Accept() = 0;
    // Ends a waiting Accept, now and from now on. Any thread.
    virtual void Wake() = 0;
};

// What opening the endpoint came to.
struct Endpoint {
    std::unique_ptr<Listener> listener;
    std::string problem;  // why there is none ("held by another owner", an unsafe folder, ...)
};

// The endpoint for `portName` (the name as the user gave it; device paths are resolved so
// that two names of one device meet).
std::string EndpointName(const std::string& portName);
// Serves `portName`, unless another live owner does already.
Endpoint Listen(const std::string& portName);
// Connects to the owner of `portName`, if there is one of this user: nullptr when there is
// none (or the endpoint is not safe: another user's folder or peer).
std::unique_ptr<Stream> Connect(const std::string& portName);

// This program's process ID and name ("servoctl", "servo-debugger", "python3").
int ProcessId();
std::string ProgramName();

}  // namespace share
