#pragma once
// A virtual servo bus. Programs open its line (DevicePath) as they would a serial adapter:
// a pseudo-terminal, or an in-process channel whose near end is a ChannelPort. The bus
// answers on its own thread as the servos on it would: only at each servo's own baud rate,
// with faults and pacing on demand.

#include "catalogue/ModelCatalogue.h"
#include "sim/BusLine.h"
#include "sim/LoaderSim.h"
#include "sim/PacketParser.h"
#include "sim/ServoFactory.h"
#include "sim/SimServo.h"

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

class VirtualBus {
public:
    // How often the servos' motion and feedback advance.
    static constexpr int kStepMs = 10;

    // On a pseudo-terminal.
    explicit VirtualBus(ModelCatalogue& catalogue);
    // On the far end of an in-process channel, whose port opens it as `name`.
    VirtualBus(ModelCatalogue& catalogue, std::shared_ptr<ByteChannel> channel, std::string name);
    ~VirtualBus();
    VirtualBus(const VirtualBus&) = delete;
    VirtualBus& operator=(const VirtualBus&) = delete;

    bool AddServo(const ServoSpec& spec, std::string& error);
    bool Start(std::string& error);
    void Stop();
    const std::string& DevicePath() const { return line->Name(); }
    // A symbolic link to the device, made by Start (replacing what is there) and removed by
    // Stop: the bus's name that stays the same when it comes back on another device.
    void SetLinkPath(const std::string& path) { linkPath = path; }
    const std::string& LinkPath() const { return linkPath; }

    // Goes away as an unplugged adapter does: the device closes (the program's port reads
    // end of line and hangs up) and its name disappears. The servos keep their memory.
    void Vanish();
    // Comes back on a new device under the same link; false (with `error`) when it can't.
    bool Return(std::string& error);
    bool Vanished() const { return vanished; }

    // Faults and timing.
    void SetDropShare(double share);
    // A share of packets is corrupted on the line, both ways: a request the servo can't
    // use (no answer) or an answer with one wrong byte.
    void SetCorruptShare(double share);
    void SetReplyDelayMs(int ms);
    void RefuseNextBlocks(int count);
    // Paces the line as a real one at its rate (10 bits a byte): a packet the program sends
    // reaches the servos no sooner than its wire time, and each answer is held for its own
    // wire time plus a return delay.
    void SetPacing(bool on, int returnDelayUs = 20);
    void SetFaultBits(uint8_t id, uint8_t bits);
    // Faults of the servos at `id` alone: a share of their answers dropped, and a share sent
    // with one wrong byte. Replaces what was set for that ID.
    void SetServoFault(uint8_t id, double dropShare, double corruptShare);
    // The line hands back every byte the program sends, before any answer (an adapter whose
    // transmit and receive lines are joined).
    void SetEcho(bool on);
    // The servos share one supply of this resistance: each one's voltage falls with the
    // current of all of them (0: a stiff supply).
    void SetSupplyResistance(double ohms);

    // What each servo did, in the order they were added: packets addressed to it that it
    // heard, and its answers sent whole, dropped or sent with a wrong byte. Two servos on one
    // ID both answer (their bytes collide on the line) and both count.
    struct ServoTally {
        uint8_t id = 0;
        long long heard = 0, answered = 0, dropped = 0, corrupted = 0;
    };
    std::vector<ServoTally> Tally() const;
    // How the servos move (Body unless told): the plain motion of earlier versions is for
    // checks written against its exact path.
    void SetMotion(SimMotion motion);
    // A constant load torque (0..1000) on every servo, now and added later.
    void SetLoad(double torque);

    // Turns servo `id`'s output shaft by hand to `mechanical` (the position it reads with no
    // correction); false with a message for an unknown ID, a position outside the range or a
    // servo whose torque is on.
    bool TurnByHand(uint8_t id, int mechanical, std::string& error);
    // Servo `id`'s correction counts the other way (as a family built so would); false when
    // there is no such servo.
    bool ReverseCorrection(uint8_t id);

    // What the servos hold, found by their present ID.
    bool Memory(uint8_t id, ServoMemory& memory) const;
    void SetMemory(uint8_t id, uint8_t address, uint8_t value);

    // Every packet heard ("> ...") and sent ("< ..."), one hex line each.
    void SetLogFile(const std::string& path);
    std::vector<std::string> LogLines() const;
    void ClearLog();
    // Whether LogLines keeps the lines (on at first, for the tests); a bus that serves for
    // hours (servo-sim, demo mode) turns it off, so its memory stays flat.
    void KeepLogLines(bool keep);

    // The firmware loader.
    void SetImageFile(const std::string& path);
    std::vector<uint8_t> LoaderImage() const;
    bool LoaderComplete() const;
    int LoaderBlocksAccepted() const;
    int LoaderBlocksRefused() const;
    bool LoaderArmed() const;

    // Bytes the bus has taken in from the line since it started.
    long long BytesHeard() const { return bytesHeard; }
    // Whether everything written to the device so far has been heard and answered: no byte
    // waits on the line and the bus thread is not handling any. For the thread that starts
    // and stops the bus, once its writers have finished.
    bool Quiet() const;
    // Steps of the servos' motion made since the bus started; a change to a servo made
    // through this object shows in its memory from the next step.
    long long Steps() const { return steps; }

private:
    void Run();
    // An answer on its way: the servo it is of (an index into `servos`; -1 the loader's,
    // -2 several servos' colliding bytes), and whether its own fault corrupted it.
    struct Outgoing {
        std::vector<uint8_t> bytes;
        int servo = -1;
        bool corrupted = false;
    };
    void Receive(const uint8_t* bytes, int n, int rate, std::vector<Outgoing>& answers);
    void Dispatch(const BusPacket& packet, int rate, std::vector<Outgoing>& answers);
    // A servo's own faults on its answer; false when it is dropped.
    bool ServoFaults(size_t servo, std::vector<uint8_t>& bytes, bool& corrupted);
    // With pacing, the answer goes out when `lineFree` (the end of what the line carried
    // last) is a return delay and its own wire time past, and `lineFree` moves to then.
    void Answer(Outgoing answer, int rate, std::chrono::steady_clock::time_point& lineFree);
    // The shared supply's drop, from the servos' currents.
    void SagSupply();
    void Log(char direction, const std::vector<uint8_t>& bytes, const char* note = nullptr);

    ModelCatalogue& catalogue;
    std::unique_ptr<BusLine> line;
    bool lineOpen = false;
    std::string linkPath;
    std::atomic<bool> vanished{false};
    std::atomic<bool> stop{false};
    std::atomic<long long> bytesHeard{0};
    std::atomic<bool> handling{false};
    std::atomic<long long> steps{0};
    std::thread thread;

    mutable std::mutex mutex;
    std::vector<std::unique_ptr<SimServo>> servos;
    std::vector<ServoTally> tallies;  // one a servo, beside `servos`
    struct Fault {
        uint8_t id = 0;
        double drop = 0, corrupt = 0;
    };
    std::vector<Fault> faults;
    bool echo = false;
    double supplyOhms = 0;
    PacketParser parser;
    LoaderSim loader;
    double dropShare = 0;
    double corruptShare = 0;
    int replyDelayMs = 0;
    int refuseBlocks = 0;
    bool pacing = false;
    SimMotion motion = SimMotion::Body;
    double load = 0;
    int returnDelayUs = 20;
    std::mt19937 random{12345};
    std::vector<std::string> logLines;
    bool keepLogLines = true;
    std::ofstream logFile;
    std::string imageFile;
};
