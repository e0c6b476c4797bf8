#pragma once
// The model catalogue "setup.log": which model a servo is, what its memory table holds and
// how the debug page is set up for it. The GBK file is read anew at every lookup, so edits
// take effect without a restart; texts leave the catalogue in UTF-8.

#include "catalogue/ModelTypes.h"
#include "protocol/Reply.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

class ModelCatalogue {
public:
    explicit ModelCatalogue(std::string fileName = "setup.log");

    std::string LookupModelName(const ModelKey& key);
    int LookupMemoryTable(MemoryTable& items, const ModelKey& key);
    int LookupDebugProfile(const ModelKey& key, DebugProfile& profile);
    // How commands to the servo with these identification bytes are coded: its byte order
    // and status level from the bytes, its position block one above the torque switch of
    // its debug row (the default without one).
    ServoProfile ProfileOf(const ModelKey& key);
    // The five bytes that open the firmware loader of the servo's family: the first row of
    // the first "[升级]" section whose first four numbers match the key as a debug row does.
    // 1 = found and `unlock` filled; 0 = none, `unlock` untouched.
    int LookupLoaderUnlock(const ModelKey& key, std::array<uint8_t, 5>& unlock);

    static bool MatchTablePattern(const KeyPattern& pattern, const ModelKey& key);
    static bool MatchModelPattern(const KeyPattern& pattern, const ModelKey& key);

    const std::string& FileName() const { return fileName; }

private:
    std::string fileName;
    // The search worker, the timer thread and the UI thread all look up: one at a time.
    std::mutex lookupMutex;
};
