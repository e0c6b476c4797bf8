#pragma once
// The servo search: one bus job that reads the identification bytes of IDs 0 to 253 at the
// port's present rate and reports each servo that answers. The reports are made from the bus
// thread and must never wait for another thread.

#include "bus/ServoBus.h"
#include "catalogue/ModelCatalogue.h"

#include <atomic>
#include <functional>
#include <string>

class ServoSearch {
public:
    struct Reports {
        std::function<void(int id)> probing;
        std::function<void(int id, const ModelKey& key, const std::string& model)> found;
        // An ID whose replies collide (two servos may answer to it): never listed as found.
        std::function<void(int id)> doubled;
        std::function<void()> finished;  // after the last probe, or when the job was dropped
    };

    ServoSearch(ModelCatalogue& catalogue, const std::atomic<int>& portOpen);

    // Queues a search unless one runs; it ends after ID 253, on Stop, when the port-open
    // flag drops or when the bus drops its work, each checked before a probe, or when the
    // port is gone.
    bool Start(ServoBus& bus, Reports reports);
    void Stop() { searching = 0; }
    bool Running() const { return searching != 0; }

    static constexpr int kLastId = 253;

private:
    void Run(BusAccess& access, const Reports& reports);

    ModelCatalogue& catalogue;
    const std::atomic<int>& portOpen;
    std::atomic<int> searching{0};
};
