#pragma once
// What the programming page does to the selected servo, without a window: the memory-table
// poll, single-value writes and block writes behind the EPROM lock flag, and the reset and
// risk commands. The page and servoctl both run on it. Everything that talks to the servo
// takes the running bus job's access (or that of a bus that runs jobs on the caller's thread).

#include "catalogue/ModelCatalogue.h"
#include "servo/MemoryRows.h"
#include "bus/ServoBus.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What one poll has for the list and the status box.
struct PollReport {
    // The list is rebuilt from `rows` (an empty `rows` empties it).
    bool rebuild = false;
    // Per row: "地址", "内存", "数值" (the initial value), "存储区域", "读写".
    std::vector<std::array<std::string, 5>> rows;
    // Row index and value text of every decoded row, after a successful read.
    std::vector<std::pair<int, std::string>> values;
    // What the status box shows: the poll went unanswered, or the servo's fault flags
    // (memory address 65); unchanged leaves it as it is.
    enum class Status { Unchanged, Timeout, Faults } status = Status::Unchanged;
    uint8_t faults = 0;
};

enum class LoadResult { CannotOpen, Loaded, Failed };

class ServoProgram {
public:
    static constexpr int kWriteTimeoutMs = 500;
    static constexpr int kIdleTimeoutMs = 50;
    // Time a servo that sends no status packet is given to take a write.
    static constexpr int kSettleMs = 100;
    // The ID and baud-rate code of a servo after its factory parameters are restored.
    static constexpr int kRestoredId = 1;
    static constexpr int kRestoredBaudCode = 4;

    // Called with a baud-rate code after the port has followed the servo to that rate, on
    // the bus thread, inside the write's job (the window shows the new rate).
    using BaudFollower = std::function<void(int code)>;

    explicit ServoProgram(ModelCatalogue& catalogue);

    void SetBaudFollower(BaudFollower follower) { followBaud = std::move(follower); }
    // The programming page's lasting time-out: after each write sequence, restore and risk
    // command the port keeps `idleMs` (kIdleTimeoutMs) as its time-out, and a rate change
    // that follows the servo first puts back the time-out the port kept before the first of
    // them. Without it, a sequence leaves the port's kept time-out as it found it.
    void KeepIdleTimeout(int idleMs) { idle = IdleTimeout{idleMs, -1}; }
    // The settling wait in ms; tests whose bus is a script set 0.
    void SetSettleMs(int ms) { settleMs = ms; }

    // The servo the page works on: the next poll loads the table for the key's bytes 0 to 4;
    // its writes are coded for `profile` until a poll reads the servo's own settings.
    void SelectServo(int id, const ModelKey& key, const ServoProfile& profile);
    int SelectedId() const { return selectedId; }
    ServoProfile Profile() const;

    // One tick: reloads the table after a selection, then reads the whole memory image of
    // the selected servo, and takes the servo's byte order and status level from it.
    PollReport Poll(BusAccess& access);

    // The table and image as the poll left them, for any thread.
    std::vector<MemoryItem> Rows() const;
    int MemorySize() const;
    MemoryImage Image() const;
    // The first EPROM-block-length bytes of the image: what a parameter file holds. Nothing
    // unless a complete read of the selected servo's current table has succeeded since the
    // selection (or the table) changed and the last poll succeeded: an older image may be
    // another servo's, and loading it later would give a servo another's ID and settings.
    std::optional<std::vector<uint8_t>> ParameterBytes() const;

    // One value, with the lock flag opened before and closed after for an EPROM item.
    // Nonzero on success.
    int WriteValue(BusAccess& access, int address, int size, uint16_t value, bool eprom);

    // The first n image bytes from address 0 in one packet, behind the lock flag; the
    // selected ID, the port's rate and the status level follow bytes 5, 6 and 8 when the
    // block reaches them.
    int WriteBlock(BusAccess& access, int n);

    // Lays the file's first bytes (at most the memory size) over the image and writes them
    // with WriteBlock. The file is opened for reading and writing.
    LoadResult LoadParameterFile(BusAccess& access, const std::string& path);
    // The same with the bytes at hand.
    bool LoadParameterBytes(BusAccess& access, const std::vector<uint8_t>& bytes);

    // True when the servo confirmed, or sends no confirmations (status level 0). A restore
    // moves the selected ID to 1 and the port to 115200.
    bool RestoreParameters(BusAccess& access);
    bool ResetAngle(BusAccess& access);
    bool RiskyOperation(BusAccess& access);

    // Whether the last write, load or restore was not sent because it would have moved the
    // servo to another rate than that of the bus another program shares with this one (the
    // owner's other servos and polls run at that rate).
    bool RateChangeRefused() const { return rateChangeRefused; }

private:
    int LockAddressNow() const;
    // The image no longer stands for the selected servo: its ID or its bytes changed other
    // than by a read.
    void MarkStale();
    void Settle() const;
    void LeaveIdle(BusAccess& access);
    void FollowBaud(BusAccess& access, int code);
    // On a shared bus: false (and RateChangeRefused) when baud-rate code `code` is not the
    // bus's rate.
    bool RateMayBecome(const BusAccess& access, int code);
    // The EPROM write sequence: the lock flag opened (when `locked`), the servo's status
    // level taken from what is written (newLevel >= 0), `write`, then `written` (which may
    // move the ID and the port's rate), and the lock closed at the servo's new ID; a servo
    // that sends no status packets is given time to take each write. Nonzero on success.
    int LockedWrite(BusAccess& access, bool locked, int newLevel,
                    const std::function<Reply(const ServoProfile&, uint8_t id)>& write,
                    const std::function<void(uint8_t& id)>& written);

    ModelCatalogue& catalogue;
    BaudFollower followBaud;
    struct IdleTimeout {
        int idleMs;
        int baseMs;  // the port's own, once a sequence has replaced it; bus jobs only
    };
    std::optional<IdleTimeout> idle;
    std::atomic<bool> rateChangeRefused{false};
    std::atomic<int> settleMs{kSettleMs};

    std::atomic<int> selectedId{0};
    std::atomic<bool> reload{false};

    // Guards what the UI thread and the bus jobs share: key bytes, profile, rows, memory
    // size, image. Held only for a copy.
    mutable std::mutex dataMutex;
    ModelKey keyBytes{};
    ServoProfile profile;
    std::vector<MemoryItem> rows;  // written by the poll only
    int memorySize = 0;
    MemoryImage image{};
    // The image is a complete read of the selected servo's current table, and the last poll
    // succeeded. `selection` counts the changes that make it stale, so that a read that was
    // under way across one never counts.
    bool imageFresh = false;
    unsigned selection = 0;
};
