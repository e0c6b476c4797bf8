#include "servo/ServoProgram.h"

#include "support/BaudRates.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

ServoProgram::ServoProgram(ModelCatalogue& c) : catalogue(c) {}

void ServoProgram::SelectServo(int id, const ModelKey& key, const ServoProfile& p)
{
    {
        std::lock_guard data(dataMutex);
        keyBytes = {};
        std::copy_n(key.begin(), 5, keyBytes.begin());
        profile = p;
        // Under the lock, so that a poll that sees the new selection reads the new ID with
        // the new table.
        selectedId = id;
        reload = true;
        imageFresh = false;
        ++selection;
    }
}

ServoProfile ServoProgram::Profile() const
{
    std::lock_guard data(dataMutex);
    return profile;
}

void ServoProgram::MarkStale()
{
    std::lock_guard data(dataMutex);
    imageFresh = false;
    ++selection;
}

PollReport ServoProgram::Poll(BusAccess& access)
{
    PollReport report;
    unsigned readFor;
    {
        std::lock_guard data(dataMutex);
        readFor = selection;
    }
    if (reload.exchange(false)) {
        auto items = std::make_unique<MemoryTable>();
        ModelKey key;
        {
            std::lock_guard data(dataMutex);
            key = keyBytes;
        }
        const int count = catalogue.LookupMemoryTable(*items, key);
        std::vector<MemoryItem> table(items->begin(), items->begin() + TableRows(*items, count));
        const int size = count ? ::MemorySize(table) : 0;
        if (count == 0 || size != 0) {
            report.rebuild = true;
            for (const auto& item : table)
                report.rows.push_back(
                    {item.address, item.name, item.initialValue, item.area, item.access});
        }
        std::lock_guard data(dataMutex);
        rows = std::move(table);
        memorySize = size;
        imageFresh = false;
    }
    if (memorySize == 0)  // only this thread writes it
        return report;

    MemoryImage fresh = Image();
    const auto id = static_cast<uint8_t>(selectedId.load());
    // A table longer than one reply can carry is read in two requests.
    const int first = std::min(memorySize, kMaxReadCount);
    bool ok = access.protocol.ReadMemory(id, 0, fresh.data(), static_cast<uint8_t>(first)).ok();
    if (ok && memorySize > first)
        ok = access.protocol.ReadMemory(id, static_cast<uint8_t>(first), fresh.data() + first,
                                        static_cast<uint8_t>(memorySize - first))
                 .ok();
    if (!ok) {
        std::lock_guard data(dataMutex);
        imageFresh = false;
        report.status = PollReport::Status::Timeout;
        return report;
    }
    {
        // The write sequences that run next code for the servo's settings as read. A table
        // too short to hold them leaves them as they are: bytes it never read are nobody's
        // settings.
        std::lock_guard data(dataMutex);
        if (memorySize > addr::kByteOrder)
            profile.byteOrder = fresh[addr::kByteOrder];
        if (memorySize > addr::kStatusLevel)
            profile.statusLevel = fresh[addr::kStatusLevel];
        image = fresh;
        // A selection made while this read was under way asked for another servo.
        imageFresh = readFor == selection;
    }
    report.values = DecodeRows(rows, fresh, memorySize);
    report.status = PollReport::Status::Faults;
    report.faults = fresh[addr::kFaultFlags];
    return report;
}

std::vector<MemoryItem> ServoProgram::Rows() const
{
    std::lock_guard data(dataMutex);
    return rows;
}

int ServoProgram::MemorySize() const
{
    std::lock_guard data(dataMutex);
    return memorySize;
}

MemoryImage ServoProgram::Image() const
{
    std::lock_guard data(dataMutex);
    return image;
}

std::optional<std::vector<uint8_t>> ServoProgram::ParameterBytes() const
{
    std::lock_guard data(dataMutex);
    if (!imageFresh)
        return std::nullopt;
    const int n = EpromBlockLength(rows);
    return std::vector<uint8_t>(image.begin(), image.begin() + n);
}

int ServoProgram::LockAddressNow() const
{
    std::lock_guard data(dataMutex);
    return LockAddress(rows);
}

void ServoProgram::LeaveIdle(BusAccess& access)
{
    if (!idle)
        return;
    if (idle->baseMs < 0)
        idle->baseMs = access.Facts().TimeoutMs();
    access.SetTimeoutMs(idle->idleMs);
}

void ServoProgram::Settle() const
{
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));
}

void ServoProgram::FollowBaud(BusAccess& access, int code)
{
    // A code outside the baud list leaves the port where it is; the listener still hears
    // where the servo went.
    if (const int rate = BaudRateOfCode(code)) {
        // A rate change puts the port's base time-out in force again.
        if (idle && idle->baseMs >= 0)
            access.SetTimeoutMs(idle->baseMs);
        access.SetRate(rate);
    }
    if (followBaud)
        followBaud(code);
}

bool ServoProgram::RateMayBecome(const BusAccess& access, int code)
{
    const PortFacts port = access.Facts();
    rateChangeRefused = port.Rates() == RateControl::Shared && BaudRateOfCode(code) != port.Rate();
    return !rateChangeRefused;
}

int ServoProgram::LockedWrite(BusAccess& access, bool locked, int newLevel,
                              const std::function<Reply(const ServoProfile&, uint8_t id)>& write,
                              const std::function<void(uint8_t& id)>& written)
{
    // Unlock, write and lock go with nothing of another program between them.
    ZNS& protocol = access.protocol;
    const ZNS::Uninterrupted sequence(protocol);
    const auto lock = static_cast<uint8_t>(LockAddressNow());
    auto id = static_cast<uint8_t>(selectedId.load());
    int result = 0;
    {
        const ZNS::ReplyTimeout wait(protocol, kWriteTimeoutMs);
        if (!locked || protocol.WriteByte(Profile(), id, lock, 0)) {
            // A write of the status level is answered (or not) at its new level already.
            if (newLevel >= 0) {
                std::lock_guard data(dataMutex);
                profile.statusLevel = static_cast<uint8_t>(newLevel);
            }
            if (Profile().statusLevel == 0)
                Settle();
            if (write(Profile(), id)) {
                written(id);
                result = 1;
                if (locked) {
                    if (Profile().statusLevel == 0)
                        Settle();
                    result = protocol.WriteByte(Profile(), id, lock, 1) ? 1 : 0;
                }
            }
        }
    }
    LeaveIdle(access);
    return result;
}

int ServoProgram::WriteValue(BusAccess& access, int address, int size, uint16_t value, bool eprom)
{
    const auto a = static_cast<uint8_t>(address);
    const auto low = static_cast<uint8_t>(value & 0xFF);
    // Without a lock flag the value goes alone.
    const bool locked = eprom && LockAddressNow() != kNoLock;
    rateChangeRefused = false;
    if (address == addr::kBaudCode && !RateMayBecome(access, low))
        return 0;
    return LockedWrite(
        access, locked, address == addr::kStatusLevel ? low : -1,
        [&](const ServoProfile& p, uint8_t id) {
            return size == 1 ? access.protocol.WriteByte(p, id, a, low)
                             : access.protocol.WriteWord(p, id, a, value);
        },
        [&](uint8_t& id) {
            if (address == addr::kId) {
                selectedId = low;
                id = low;
                MarkStale();
            }
            if (address == addr::kBaudCode)
                FollowBaud(access, low);
        });
}

int ServoProgram::WriteBlock(BusAccess& access, int n)
{
    // The packet's length byte counts the data bytes plus three: a longer block can't be
    // framed, and nothing at all is sent for it.
    if (n < 0 || n > kMaxWriteCount)
        return 0;
    const MemoryImage block = Image();
    rateChangeRefused = false;
    if (n > addr::kBaudCode && !RateMayBecome(access, block[addr::kBaudCode]))
        return 0;
    // The servo takes the block's ID, rate and status level only where the block reaches
    // them; a shorter block leaves the servo's own (and the image's bytes there may never
    // have been read).
    return LockedWrite(
        access, LockAddressNow() != kNoLock, n > addr::kStatusLevel ? block[addr::kStatusLevel] : -1,
        [&](const ServoProfile& p, uint8_t id) {
            return access.protocol.WriteMemory(p, id, 0, block.data(), static_cast<uint8_t>(n));
        },
        [&](uint8_t& id) {
            if (n > addr::kId) {
                id = block[addr::kId];
                selectedId = id;
                MarkStale();
            }
            if (n > addr::kBaudCode)
                FollowBaud(access, block[addr::kBaudCode]);
        });
}

bool ServoProgram::LoadParameterBytes(BusAccess& access, const std::vector<uint8_t>& bytes)
{
    int n;
    {
        // The image holds the file's bytes now, not what the servo was read to hold.
        std::lock_guard data(dataMutex);
        n = std::min(static_cast<int>(bytes.size()), memorySize);
        std::copy_n(bytes.begin(), n, image.begin());
        imageFresh = false;
        ++selection;
    }
    return WriteBlock(access, n) != 0;
}

LoadResult ServoProgram::LoadParameterFile(BusAccess& access, const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r+b"), &std::fclose);
    if (!file)
        return LoadResult::CannotOpen;
    // At most the memory size is read; a longer file's tail is never looked at.
    std::vector<uint8_t> bytes(static_cast<size_t>(MemorySize()));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    return LoadParameterBytes(access, bytes) ? LoadResult::Loaded : LoadResult::Failed;
}

bool ServoProgram::RestoreParameters(BusAccess& access)
{
    if (!RateMayBecome(access, kRestoredBaudCode))
        return false;
    const ServoProfile p = Profile();
    bool ok;
    {
        const ZNS::ReplyTimeout wait(access.protocol, kWriteTimeoutMs);
        ok = access.protocol.RestoreParameters(p, static_cast<uint8_t>(selectedId.load())).ok();
    }
    LeaveIdle(access);
    if (!ok && p.statusLevel != 0)
        return false;
    selectedId = kRestoredId;
    MarkStale();
    FollowBaud(access, kRestoredBaudCode);
    return true;
}

bool ServoProgram::ResetAngle(BusAccess& access)
{
    const ServoProfile p = Profile();
    return access.protocol.ResetAngle(p, static_cast<uint8_t>(selectedId.load())).ok() ||
           p.statusLevel == 0;
}

bool ServoProgram::RiskyOperation(BusAccess& access)
{
    const ServoProfile p = Profile();
    bool ok;
    {
        const ZNS::ReplyTimeout wait(access.protocol, kWriteTimeoutMs);
        ok = access.protocol.RiskyOperation(p, static_cast<uint8_t>(selectedId.load())).ok();
    }
    LeaveIdle(access);
    return ok || p.statusLevel == 0;
}
