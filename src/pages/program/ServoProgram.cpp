#include "pages/program/ServoProgram.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

ServoProgram::ServoProgram(ZNServo& p, std::recursive_mutex& lock, ModelCatalogue& c)
    : protocol(p), busLock(lock), catalogue(c)
{
}

void ServoProgram::SelectServo(int id, const ModelKey& key)
{
    {
        std::lock_guard data(dataMutex);
        keyBytes = {};
        std::copy_n(key.begin(), 5, keyBytes.begin());
    }
    selectedId = id;
    reload = true;
}

PollReport ServoProgram::Poll()
{
    PollReport report;
    if (reload.exchange(false)) {
        auto items = std::make_unique<MemoryTable>();
        ModelKey key;
        {
            std::lock_guard data(dataMutex);
            key = keyBytes;
        }
        int count;
        {
            std::lock_guard bus(busLock);
            count = catalogue.LookupMemoryTable(*items, key);
        }
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
    }
    if (memorySize == 0)  // only this thread writes it
        return report;

    MemoryImage fresh = Image();
    const auto id = static_cast<uint8_t>(selectedId.load());
    {
        std::lock_guard bus(busLock);
        // A table longer than one reply can carry is read in two requests.
        const int first = std::min(memorySize, kMaxReadCount);
        bool ok = protocol.ReadMemory(id, 0, fresh.data(), static_cast<uint8_t>(first)) != 0;
        if (ok && memorySize > first)
            ok = protocol.ReadMemory(id, static_cast<uint8_t>(first), fresh.data() + first,
                                     static_cast<uint8_t>(memorySize - first)) != 0;
        if (!ok) {
            report.status = text::kTimeout;
            return report;
        }
        // Taken while the lock is held, so a write sequence that starts next sees the
        // servo's settings as read, not a stale image's. A table too short to hold them
        // leaves them as they are: bytes it never read are nobody's settings.
        if (memorySize > addr::kByteOrder)
            protocol.byteOrder = fresh[addr::kByteOrder];
        if (memorySize > addr::kStatusLevel)
            protocol.statusLevel = fresh[addr::kStatusLevel];
        std::lock_guard data(dataMutex);
        image = fresh;
    }
    report.values = DecodeRows(rows, fresh, memorySize);
    report.status = FaultText(fresh[addr::kFaultFlags]);
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

std::vector<uint8_t> ServoProgram::ParameterBytes() const
{
    std::lock_guard data(dataMutex);
    const int n = EpromBlockLength(rows);
    return {image.begin(), image.begin() + n};
}

int ServoProgram::LockAddressNow() const
{
    std::lock_guard data(dataMutex);
    return LockAddress(rows);
}

void ServoProgram::Settle() const
{
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));
}

void ServoProgram::FollowBaud(int code)
{
    if (followBaud)
        followBaud(code);
}

int ServoProgram::WriteValue(int address, int size, uint16_t value, bool eprom)
{
    std::lock_guard bus(busLock);
    const int lockAddress = LockAddressNow();
    const auto lock = static_cast<uint8_t>(lockAddress);
    eprom = eprom && lockAddress != kNoLock;  // without a lock flag the value goes alone
    const auto a = static_cast<uint8_t>(address);
    const auto low = static_cast<uint8_t>(value & 0xFF);
    auto id = static_cast<uint8_t>(selectedId.load());
    CZNComm& comm = protocol.comm;
    comm.SetTimeouts(kWriteTimeoutMs);
    int result = 0;
    if (!eprom || protocol.WriteByte(id, lock, 0)) {
        // The status level's own write already follows the new level.
        if (address == addr::kStatusLevel)
            protocol.statusLevel = low;
        if (protocol.statusLevel == 0)
            Settle();
        const int written = size == 1 ? protocol.WriteByte(id, a, low)
                                      : protocol.WriteWord(id, a, value);
        if (written) {
            if (address == addr::kId) {
                selectedId = low;
                id = low;
            }
            if (address == addr::kBaudCode)
                FollowBaud(low);
            result = 1;
            if (eprom) {
                if (protocol.statusLevel == 0)
                    Settle();
                result = protocol.WriteByte(id, lock, 1);
            }
        }
    }
    comm.SetTimeouts(kIdleTimeoutMs);
    return result;
}

int ServoProgram::WriteBlock(int n)
{
    // The packet's length byte counts the data bytes plus three: a longer block can't be
    // framed, and nothing at all is sent for it.
    if (n < 0 || n > kMaxWriteCount)
        return 0;
    const int lockAddress = LockAddressNow();
    const bool locked = lockAddress != kNoLock;
    const auto lock = static_cast<uint8_t>(lockAddress);
    const MemoryImage block = Image();
    auto id = static_cast<uint8_t>(selectedId.load());
    CZNComm& comm = protocol.comm;
    comm.SetTimeouts(kWriteTimeoutMs);
    if (locked && !protocol.WriteByte(id, lock, 0)) {
        comm.SetTimeouts(kIdleTimeoutMs);
        return 0;
    }
    // The servo takes the block's ID, rate and status level only where the block reaches
    // them; a shorter block leaves the servo's own (and the image's bytes there may never
    // have been read).
    if (n > addr::kStatusLevel)
        protocol.statusLevel = block[addr::kStatusLevel];
    if (protocol.statusLevel == 0)
        Settle();
    int result = 0;
    if (protocol.WriteMemory(id, 0, block.data(), static_cast<uint8_t>(n))) {
        if (n > addr::kId) {
            id = block[addr::kId];
            selectedId = id;
        }
        if (n > addr::kBaudCode)
            FollowBaud(block[addr::kBaudCode]);
        result = 1;
        if (locked) {
            if (protocol.statusLevel == 0)
                Settle();
            result = protocol.WriteByte(id, lock, 1);
        }
    }
    comm.SetTimeouts(kIdleTimeoutMs);
    return result;
}

bool ServoProgram::LoadParameterBytes(const std::vector<uint8_t>& bytes)
{
    std::lock_guard bus(busLock);
    int n;
    {
        std::lock_guard data(dataMutex);
        n = std::min(static_cast<int>(bytes.size()), memorySize);
        std::copy_n(bytes.begin(), n, image.begin());
    }
    return WriteBlock(n) != 0;
}

LoadResult ServoProgram::LoadParameterFile(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r+b"), &std::fclose);
    if (!file)
        return LoadResult::CannotOpen;
    std::lock_guard bus(busLock);
    // At most the memory size is read; a longer file's tail is never looked at.
    std::vector<uint8_t> bytes(static_cast<size_t>(MemorySize()));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(got);
    return LoadParameterBytes(bytes) ? LoadResult::Loaded : LoadResult::Failed;
}

bool ServoProgram::RestoreParameters()
{
    int ok;
    {
        std::lock_guard bus(busLock);
        protocol.comm.SetTimeouts(kWriteTimeoutMs);
        ok = protocol.RestoreParameters(static_cast<uint8_t>(selectedId.load()));
        protocol.comm.SetTimeouts(kIdleTimeoutMs);
    }
    if (!ok && protocol.statusLevel != 0)
        return false;
    selectedId = kRestoredId;
    FollowBaud(kRestoredBaudCode);
    return true;
}

bool ServoProgram::ResetAngle()
{
    std::lock_guard bus(busLock);
    return protocol.ResetAngle(static_cast<uint8_t>(selectedId.load())) ||
           protocol.statusLevel == 0;
}

bool ServoProgram::RiskyOperation()
{
    std::lock_guard bus(busLock);
    protocol.comm.SetTimeouts(kWriteTimeoutMs);
    const int ok = protocol.RiskyOperation(static_cast<uint8_t>(selectedId.load()));
    protocol.comm.SetTimeouts(kIdleTimeoutMs);
    return ok || protocol.statusLevel == 0;
}
