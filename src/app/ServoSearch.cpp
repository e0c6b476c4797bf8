#include "app/ServoSearch.h"

ServoSearch::ServoSearch(ZNS& b, ModelCatalogue& c, std::recursive_mutex& lock,
                         const std::atomic<int>& open)
    : bus(b), catalogue(c), busLock(lock), portOpen(open)
{
}

ServoSearch::~ServoSearch()
{
    Stop();
    Join();
}

bool ServoSearch::Start(Reports reports)
{
    if (searching)
        return false;
    Join();  // the previous worker has reported its end; collect it
    searching = 1;
    worker = std::thread([this, r = std::move(reports)] { Run(r); });
    return true;
}

void ServoSearch::Join()
{
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id())
        worker.join();
}

void ServoSearch::Run(Reports reports)
{
    {
        std::lock_guard lock(busLock);
        for (int id = 0; id <= kLastId; ++id) {
            if (!searching || !portOpen)
                break;
            if (reports.probing)
                reports.probing(id);
            ModelKey key{};
            if (bus.ReadMemory(static_cast<uint8_t>(id), 0, key.data(), 9) != 9)
                continue;
            const std::string model = catalogue.LookupModelName(key);
            if (reports.found)
                reports.found(id, key, model);
        }
        // Still under the lock: whoever gets the bus next finds the search ended.
        searching = 0;
    }
    if (reports.finished)
        reports.finished();
}
