#pragma once
// The owner's side of a shared bus: while a program holds a port open, other programs of the
// same user attach to it (SharedPort) and send whole exchanges, which run as jobs of the
// owner's bus between its own polls and commands. Clients take turns, one exchange each; a
// client's uninterrupted sequence holds the bus until it ends, or until the client keeps
// silent for kSilenceLimit. The client's exchanges go into the owner's traffic record under
// its program's name.
//
// Create it over the bus once the port is open, destroy it before the port closes (best
// inside the job that closes it: there the destructor never waits for the bus; on another
// thread it waits at most for the client exchange that runs). Clients see "port gone" as
// soon as it is destroyed.

#include "bus/ServoBus.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A program attached to the bus.
struct ShareClient {
    std::string program;
    int pid = 0;
};

// A client came (joined) or went; `clients` is how many are attached after it.
struct ShareEvent {
    bool joined = false;
    ShareClient client;
    int clients = 0;
};

class BusShare {
public:
    // Called on the share's own threads, one call at a time; it must not wait for the UI.
    using Listener = std::function<void(const ShareEvent&)>;

    static constexpr int kMaxClients = 16;
    static constexpr std::chrono::milliseconds kSilenceLimit{1000};
    // The longest a client's read of a reply may wait on the owner's bus (a scan's longest
    // asking): a longer time-out would keep the owner's polls waiting for nothing.
    static constexpr int kLongestClientWaitMs = 2000;

    // Serves `bus`'s open port under `portName` as `ownerProgram` (this program's name as
    // clients name it). A port that is itself attached to another owner is not served.
    BusShare(ServoBus& bus, std::string portName, std::string ownerProgram, Listener listener = {});
    // Ends every client's connection and the endpoint.
    ~BusShare();
    BusShare(const BusShare&) = delete;
    BusShare& operator=(const BusShare&) = delete;

    // Whether the endpoint is up; if not, Problem() says why.
    bool Serving() const;
    std::string Problem() const;
    // Programs attached now. Any thread.
    int Clients() const;
    std::vector<ShareClient> ClientList() const;

    struct State;

private:
    std::shared_ptr<State> state;
};
