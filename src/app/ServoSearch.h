#pragma once
// The servo search: on a worker thread, reads the identification bytes of IDs 0 to 253 at
// the port's present rate under the bus lock, and reports each servo that answers. The
// reports are made from the worker and must never wait for another thread.

#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNS.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class ServoSearch {
public:
    struct Reports {
        std::function<void(int id)> probing;
        std::function<void(int id, const ModelKey& key, const std::string& model)> found;
        std::function<void()> finished;  // after the bus lock is released
    };

    ServoSearch(ZNS& bus, ModelCatalogue& catalogue, std::recursive_mutex& busLock,
                const std::atomic<int>& portOpen);
    ~ServoSearch();

    // Starts a search unless one runs; the worker ends after ID 253, on Stop, or when the
    // port-open flag drops, each checked before a probe.
    bool Start(Reports reports);
    void Stop() { searching = 0; }
    // Waits for the worker to end.
    void Join();
    bool Running() const { return searching != 0; }

    static constexpr int kLastId = 253;

private:
    void Run(Reports reports);

    ZNS& bus;
    ModelCatalogue& catalogue;
    std::recursive_mutex& busLock;
    const std::atomic<int>& portOpen;
    std::atomic<int> searching{0};
    std::thread worker;
};
