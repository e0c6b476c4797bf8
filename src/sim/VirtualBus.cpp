#include "sim/VirtualBus.h"

#include "protocol/ZNS.h"
#include "support/BaudRates.h"
#include "support/HexText.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <filesystem>


namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> ReplyPacket(uint8_t id, const uint8_t* data, int n)
{
    std::vector<uint8_t> r = {0xFF, 0xFF, id, static_cast<uint8_t>(n + 2), 0};
    r.reserve(static_cast<size_t>(n) + 6);
    for (int i = 0; i < n; ++i)
        r.push_back(data[i]);
    r.push_back(PacketChecksum(r.data() + 2, static_cast<int>(r.size()) - 2));
    return r;
}

// The wire time of n bytes at `rate`, 10 bits a byte.
std::chrono::microseconds WireTime(size_t n, int rate)
{
    return std::chrono::microseconds(rate > 0 ? static_cast<long long>(n) * 10 * 1000000LL / rate : 0);
}

// Waits until `deadline`: asleep until shortly before it, then spinning, since a sleep
// overshoots by tens of microseconds and a block's answer is due within a few. (Yielding
// instead would hand a loaded machine's other threads whole time slices.)
void PaceUntil(Clock::time_point deadline)
{
    constexpr auto kSpin = std::chrono::microseconds(60);
    if (deadline - Clock::now() > kSpin)
        std::this_thread::sleep_until(deadline - kSpin);
    while (Clock::now() < deadline) {
    }
}

}  // namespace

VirtualBus::VirtualBus(ModelCatalogue& cat) : catalogue(cat), line(MakeDeviceLine()) {}

VirtualBus::VirtualBus(ModelCatalogue& cat, std::shared_ptr<ByteChannel> channel, std::string name)
    : catalogue(cat), line(MakeChannelLine(std::move(channel), std::move(name)))
{
}

VirtualBus::~VirtualBus()
{
    Stop();
}

bool VirtualBus::AddServo(const ServoSpec& spec, std::string& error)
{
    ServoModel model;
    if (!FindServoModel(catalogue, spec.model, model, error))
        return false;
    if (spec.baudCode > 7) {
        error = "baud-rate code " + std::to_string(spec.baudCode) + " is outside 0..7";
        return false;
    }
    for (const auto& [address, value] : spec.overrides)
        model.factory[address] = value;
    auto servo = std::make_unique<SimServo>(model);
    servo->memory[addr::kId] = spec.id;
    if (spec.baudCode >= 0)
        servo->memory[addr::kBaudCode] = static_cast<uint8_t>(spec.baudCode);
    if (spec.statusLevel >= 0)
        servo->memory[addr::kStatusLevel] = static_cast<uint8_t>(spec.statusLevel);
    // Its loader opens to its family's unlock bytes when the catalogue gives them.
    ModelKey key{};
    std::copy(servo->memory.begin(), servo->memory.begin() + key.size(), key.begin());
    catalogue.LookupLoaderUnlock(key, servo->loaderUnlock);
    std::lock_guard lock(mutex);
    servo->SetMotion(motion);
    servo->SetLoad(load);
    servos.push_back(std::move(servo));
    tallies.push_back(ServoTally{spec.id});
    return true;
}

bool VirtualBus::Start(std::string& error)
{
    if (!line->Open(error))
        return false;
    lineOpen = true;
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
        std::filesystem::create_symlink(line->Name(), linkPath, ec);
        if (ec) {
            error = "cannot link " + linkPath + ": " + ec.message();
            Stop();
            return false;
        }
    }
    {
        std::lock_guard lock(mutex);
        parser.Reset();  // half a packet heard before a vanish is lost with the line
    }
    stop = false;
    vanished = false;
    thread = std::thread([this] { Run(); });
    return true;
}

bool VirtualBus::Quiet() const
{
    // The line first, then the flag: the flag is set before bytes leave the line.
    const bool waiting = lineOpen && line->Waiting();
    return !waiting && !handling;
}

void VirtualBus::Vanish()
{
    Stop();
    vanished = true;
}

bool VirtualBus::Return(std::string& error)
{
    return Start(error);
}

void VirtualBus::Stop()
{
    stop = true;
    if (thread.joinable())
        thread.join();
    if (lineOpen)
        line->Close();
    lineOpen = false;
    if (!linkPath.empty()) {
        std::error_code ec;
        std::filesystem::remove(linkPath, ec);
    }
}

void VirtualBus::Run()
{
#ifdef __linux__
    // Pacing waits for microseconds; the default timer slack would add 50 to each.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    auto nextStep = Clock::now();
    // With pacing, when the last byte heard has fully arrived on the virtual line.
    Clock::time_point lineFree{};
    while (!stop) {
        // Rounded up: a wait cut down to whole milliseconds would spin through the last one
        // of every step.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextStep - Clock::now());
        uint8_t bytes[512];
        int rate = 0;
        const int r = line->Receive(bytes, sizeof bytes, static_cast<int>(std::max<long long>(0, wait.count())),
                                    rate, handling);
        if (r > 0) {
            // The answers go out at the rate the bytes came at, even when the packet changes
            // the servo's own rate.
            bool paced, echoes;
            {
                std::lock_guard lock(mutex);
                paced = pacing;
                echoes = echo;
            }
            // An echoing line hands the bytes back as they pass, before any servo answers.
            if (echoes)
                line->Send(bytes, static_cast<size_t>(r));
            if (paced) {
                // The bytes reach the servos no sooner than their wire time after the line
                // was free: what the program sends is paced as well as the answers.
                lineFree = std::max(lineFree, Clock::now()) + WireTime(static_cast<size_t>(r), rate);
                PaceUntil(lineFree);
            }
            std::vector<Outgoing> answers;
            {
                std::lock_guard lock(mutex);
                Receive(bytes, r, rate, answers);
            }
            bytesHeard += r;
            for (auto& a : answers)
                Answer(std::move(a), rate, lineFree);
        }
        handling = false;
        const auto now = Clock::now();
        if (now >= nextStep) {
            std::lock_guard lock(mutex);
            for (auto& s : servos) {
                if (s->Motion() == SimMotion::Plain)
                    s->Step(kStepMs / 1000.0);
                else
                    s->Advance(now);
            }
            SagSupply();
            ++steps;
            nextStep += std::chrono::milliseconds(kStepMs);
            if (now - nextStep > std::chrono::milliseconds(200))
                nextStep = now;  // after a long stall, don't race to catch up
        }
    }
}

void VirtualBus::Receive(const uint8_t* bytes, int n, int rate, std::vector<Outgoing>& answers)
{
    const auto now = Clock::now();
    for (int i = 0; i < n; ++i) {
        if (loader.Armed() && rate == kLoaderBaudRate) {
            const int answer = loader.Feed(bytes[i], now, refuseBlocks);
            if (loader.GroupEnded())
                Log('>', loader.LastGroup(), "loader");
            if (answer >= 0) {
                answers.push_back(Outgoing{{static_cast<uint8_t>(answer)}});
                if (loader.complete && !imageFile.empty()) {
                    std::ofstream out(imageFile, std::ios::binary | std::ios::trunc);
                    out.write(reinterpret_cast<const char*>(loader.image.data()),
                              static_cast<std::streamsize>(loader.image.size()));
                }
            }
            continue;
        }
        BusPacket packet;
        if (!parser.Feed(bytes[i], now, packet))
            continue;
        // The servos' bodies move up to the moment the packet is whole: a read sees where
        // they are, a command starts from there.
        for (auto& s : servos)
            s->Advance(Clock::now());
        if (!packet.checksumOk) {
            Log('>', packet.raw, "bad checksum");
            continue;
        }
        // Line noise on the way in: the servo hears a packet that fails its checksum.
        if (corruptShare > 0 && std::uniform_real_distribution<double>(0, 1)(random) < corruptShare) {
            Log('>', packet.raw, "corrupted on the line");
            continue;
        }
        Log('>', packet.raw);
        Dispatch(packet, rate, answers);
    }
}

void VirtualBus::Dispatch(const BusPacket& packet, int rate, std::vector<Outgoing>& answers)
{
    const auto& p = packet.params;
    // A servo whose loader runs hears nothing at its own rate until the loader is done.
    auto hears = [&](const SimServo& s) {
        return BaudRateOfCode(s.BaudCode()) == rate && !(loader.Armed() && loader.Owner() == s.Id());
    };
    const bool broadcast = packet.id == kBroadcastId;

    if (packet.instruction == instr::kSyncWrite) {
        if (p.size() < 2)
            return;
        const uint8_t address = p[0];
        const size_t length = p[1];
        for (size_t g = 2; g + length + 1 <= p.size(); g += length + 1)
            for (auto& s : servos)
                if (hears(*s) && s->Id() == p[g])
                    s->Write(address, p.data() + g + 1, static_cast<int>(length));
        return;
    }
    if (packet.instruction == instr::kAction) {
        for (auto& s : servos)
            if (hears(*s) && (broadcast || s->Id() == packet.id))
                s->Action();
        return;
    }

    // The upgrade instruction is followed 10 ms later by the switch to the loader's rate.
    // A pseudo-terminal hands bytes over through a kernel worker that a busy machine may
    // hold up longer, so the instruction can reach the bus after the switch: read at the
    // loader's rate, it still starts the addressed servo's loader, as it would have on a
    // wire. (No servo takes other packets at that rate unless it listens there.)
    if (packet.instruction == instr::kUpgrade && !broadcast && rate == kLoaderBaudRate) {
        for (auto& s : servos)
            if (s->Id() == packet.id) {
                loader.Arm(s->Id(), s->loaderUnlock);
                return;
            }
    }

    // Every servo at the ID answers; the answers of two or more collide on the line below.
    const size_t before = answers.size();
    for (size_t index = 0; index < servos.size(); ++index) {
        auto& s = servos[index];
        if (!hears(*s) || !(broadcast || s->Id() == packet.id))
            continue;
        if (!broadcast)
            ++tallies[index].heard;
        auto answer = [&](std::vector<uint8_t> bytes) {
            Outgoing out{std::move(bytes), static_cast<int>(index)};
            if (ServoFaults(index, out.bytes, out.corrupted))
                answers.push_back(std::move(out));
        };
        bool status = false;
        switch (packet.instruction) {
        case instr::kRead:
            if (p.size() >= 2 && !broadcast) {
                std::vector<uint8_t> data(p[1]);
                s->Read(p[0], data.data(), p[1]);
                answer(ReplyPacket(packet.id, data.data(), p[1]));
            }
            continue;
        case instr::kWrite:
            if (!p.empty())
                s->Write(p[0], p.data() + 1, static_cast<int>(p.size()) - 1);
            status = true;
            break;
        case instr::kRegWrite:
            if (!p.empty())
                s->Register(p[0], p.data() + 1, static_cast<int>(p.size()) - 1);
            status = true;
            break;
        case instr::kRestore:
            s->Restore();
            status = true;
            break;
        case instr::kUpgrade:
            if (!broadcast)
                loader.Arm(s->Id(), s->loaderUnlock);
            break;
        case instr::kRisky:
            status = true;
            break;
        case instr::kResetAngle:
            s->ResetAngle();
            status = true;
            break;
        default:
            break;
        }
        // The level in force after the write decides, so a write of the status level itself
        // is answered (or not) by its new value; the reply carries the ID it was sent to.
        if (status && !broadcast && s->AnswersWrites())
            answer(ReplyPacket(packet.id, nullptr, 0));
    }
    if (answers.size() - before < 2)
        return;
    // Servos that answer at once drive the line together: a 0 bit wins (wired AND), and each
    // later one starts a byte after the one before, so the bytes run past the packet.
    Outgoing collided{answers[before].bytes, -2};
    for (size_t k = 1; before + k < answers.size(); ++k) {
        const auto& b = answers[before + k].bytes;
        collided.bytes.resize(std::max(collided.bytes.size(), b.size() + k), 0xFF);
        for (size_t i = 0; i < b.size(); ++i)
            collided.bytes[i + k] &= b[i];
    }
    for (size_t k = before; k < answers.size(); ++k) {
        auto& t = tallies[static_cast<size_t>(answers[k].servo)];
        ++(answers[k].corrupted ? t.corrupted : t.answered);
    }
    answers.resize(before);
    answers.push_back(std::move(collided));
}

bool VirtualBus::ServoFaults(size_t servo, std::vector<uint8_t>& bytes, bool& corrupted)
{
    const uint8_t id = servos[servo]->Id();
    const auto fault = std::find_if(faults.begin(), faults.end(), [&](const Fault& f) { return f.id == id; });
    if (fault == faults.end())
        return true;
    std::uniform_real_distribution<double> unit(0, 1);
    if (fault->drop > 0 && unit(random) < fault->drop) {
        Log('<', bytes, "dropped");
        ++tallies[servo].dropped;
        return false;
    }
    if (fault->corrupt > 0 && unit(random) < fault->corrupt && !bytes.empty()) {
        bytes[random() % bytes.size()] ^= 0x5A;
        corrupted = true;
    }
    return true;
}

void VirtualBus::SagSupply()
{
    if (supplyOhms <= 0)
        return;
    double milliamps = 0;
    for (const auto& s : servos)
        milliamps += std::abs(s->Current());
    // Tenths of a volt: amperes times ohms, times ten.
    const int sag = static_cast<int>(std::lround(milliamps / 1000 * supplyOhms * 10));
    for (auto& s : servos)
        s->SetSupplySag(sag);
}

void VirtualBus::Answer(Outgoing answer, int rate, Clock::time_point& lineFree)
{
    std::vector<uint8_t>& bytes = answer.bytes;
    bool drop, corrupt;
    int delayMs, returnUs;
    bool paced;
    {
        std::lock_guard lock(mutex);
        std::uniform_real_distribution<double> unit(0, 1);
        drop = unit(random) < dropShare;
        corrupt = unit(random) < corruptShare;
        if (corrupt && !bytes.empty())
            bytes[random() % bytes.size()] ^= 0x5A;
        delayMs = replyDelayMs;
        paced = pacing;
        returnUs = returnDelayUs;
        corrupt = corrupt || answer.corrupted;
        Log('<', bytes, drop ? "dropped" : (corrupt ? "corrupted" : answer.servo == -2 ? "collided" : nullptr));
        if (answer.servo >= 0) {
            auto& t = tallies[static_cast<size_t>(answer.servo)];
            ++(drop ? t.dropped : corrupt ? t.corrupted : t.answered);
        }
    }
    if (drop)
        return;
    auto hold = std::chrono::microseconds(delayMs * 1000LL);
    if (paced) {
        // A servo's return delay counts from the end of the request (or of the answer before
        // this one), not from when the bus had worked it out; the answer then takes its own
        // wire time.
        const auto start = std::max(lineFree + hold + std::chrono::microseconds(returnUs),
                                    Clock::now());
        lineFree = start + WireTime(bytes.size(), rate);
        PaceUntil(lineFree);
    } else if (hold.count() > 0)
        std::this_thread::sleep_for(hold);
    line->Send(bytes.data(), bytes.size());
}

void VirtualBus::KeepLogLines(bool keep)
{
    std::lock_guard lock(mutex);
    keepLogLines = keep;
    if (!keep)
        logLines.clear();
}

void VirtualBus::Log(char direction, const std::vector<uint8_t>& bytes, const char* note)
{
    std::string line = std::string(1, direction) + " " + HexText(bytes.data(), bytes.size());
    if (note)
        line += std::string(" (") + note + ")";
    if (keepLogLines) {
        logLines.push_back(line);
        if (logLines.size() > 100000)
            logLines.erase(logLines.begin(), logLines.begin() + 50000);
    }
    if (logFile.is_open())
        logFile << line << std::endl;
}

void VirtualBus::SetDropShare(double share)
{
    std::lock_guard lock(mutex);
    dropShare = share;
}

void VirtualBus::SetCorruptShare(double share)
{
    std::lock_guard lock(mutex);
    corruptShare = share;
}

void VirtualBus::SetReplyDelayMs(int ms)
{
    std::lock_guard lock(mutex);
    replyDelayMs = ms;
}

void VirtualBus::RefuseNextBlocks(int count)
{
    std::lock_guard lock(mutex);
    refuseBlocks = count;
}

void VirtualBus::SetPacing(bool on, int delayUs)
{
    std::lock_guard lock(mutex);
    pacing = on;
    returnDelayUs = delayUs;
}

void VirtualBus::SetMotion(SimMotion m)
{
    std::lock_guard lock(mutex);
    motion = m;
    for (auto& s : servos)
        s->SetMotion(m);
}

void VirtualBus::SetLoad(double torque)
{
    std::lock_guard lock(mutex);
    load = torque;
    for (auto& s : servos)
        s->SetLoad(torque);
}

void VirtualBus::SetServoFault(uint8_t id, double dropShare, double corruptShare)
{
    std::lock_guard lock(mutex);
    std::erase_if(faults, [&](const Fault& f) { return f.id == id; });
    faults.push_back(Fault{id, dropShare, corruptShare});
}

void VirtualBus::SetEcho(bool on)
{
    std::lock_guard lock(mutex);
    echo = on;
}

void VirtualBus::SetSupplyResistance(double ohms)
{
    std::lock_guard lock(mutex);
    supplyOhms = ohms;
}

std::vector<VirtualBus::ServoTally> VirtualBus::Tally() const
{
    std::lock_guard lock(mutex);
    return tallies;
}

void VirtualBus::SetFaultBits(uint8_t id, uint8_t bits)
{
    std::lock_guard lock(mutex);
    for (auto& s : servos)
        if (s->Id() == id)
            s->faultBits = bits;
}

bool VirtualBus::TurnByHand(uint8_t id, int mechanical, std::string& error)
{
    std::lock_guard lock(mutex);
    for (auto& s : servos)
        if (s->Id() == id)
            return s->TurnByHand(mechanical, error);
    error = "no servo " + std::to_string(id) + " on the bus";
    return false;
}

bool VirtualBus::ReverseCorrection(uint8_t id)
{
    std::lock_guard lock(mutex);
    for (auto& s : servos)
        if (s->Id() == id) {
            s->ReverseCorrection();
            return true;
        }
    return false;
}

bool VirtualBus::Memory(uint8_t id, ServoMemory& memory) const
{
    std::lock_guard lock(mutex);
    for (const auto& s : servos)
        if (s->Id() == id) {
            memory = s->memory;
            return true;
        }
    return false;
}

void VirtualBus::SetMemory(uint8_t id, uint8_t address, uint8_t value)
{
    std::lock_guard lock(mutex);
    for (auto& s : servos)
        if (s->Id() == id)
            s->memory[address] = value;
}

void VirtualBus::SetLogFile(const std::string& path)
{
    std::lock_guard lock(mutex);
    logFile.close();
    logFile.open(path, std::ios::app);
}

std::vector<std::string> VirtualBus::LogLines() const
{
    std::lock_guard lock(mutex);
    return logLines;
}

void VirtualBus::ClearLog()
{
    std::lock_guard lock(mutex);
    logLines.clear();
}

void VirtualBus::SetImageFile(const std::string& path)
{
    std::lock_guard lock(mutex);
    imageFile = path;
}

std::vector<uint8_t> VirtualBus::LoaderImage() const
{
    std::lock_guard lock(mutex);
    return loader.image;
}

bool VirtualBus::LoaderComplete() const
{
    std::lock_guard lock(mutex);
    return loader.complete;
}

int VirtualBus::LoaderBlocksAccepted() const
{
    std::lock_guard lock(mutex);
    return loader.blocksAccepted;
}

int VirtualBus::LoaderBlocksRefused() const
{
    std::lock_guard lock(mutex);
    return loader.blocksRefused;
}

bool VirtualBus::LoaderArmed() const
{
    std::lock_guard lock(mutex);
    return loader.Armed();
}
