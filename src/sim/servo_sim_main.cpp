// servo-sim: a virtual bus of servos on a pseudo-terminal, until SIGINT or SIGTERM.
#include "catalogue/CatalogueLocation.h"
#include "sim/HandLine.h"
#include "sim/ServoFault.h"
#include "sim/VirtualBus.h"
#include "support/LeadingInt.h"

#include <CLI/CLI.hpp>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <iostream>
#include <thread>

namespace {

// ID:MODEL[:BAUDCODE]; the model name may itself hold no colon.
bool ParseServo(const std::string& text, ServoSpec& spec, std::string& error)
{
    const auto first = text.find(':');
    if (first == std::string::npos || first == 0) {
        error = "--servo wants ID:MODEL[:BAUDCODE], not \"" + text + "\"";
        return false;
    }
    const std::string id = text.substr(0, first);
    std::string rest = text.substr(first + 1);
    // A last field of digits is the baud-rate code; anything else belongs to the name.
    const auto second = rest.rfind(':');
    const std::string code = second == std::string::npos ? "" : rest.substr(second + 1);
    if (!code.empty() && code.find_first_not_of("0123456789") == std::string::npos) {
        if (code.size() > 1 || LeadingInt(code) > 7) {
            error = "baud-rate code must be 0..7 in \"" + text + "\"";
            return false;
        }
        spec.baudCode = LeadingInt(code);
        rest = rest.substr(0, second);
    }
    if (id.size() > 3 || id.find_first_not_of("0123456789") != std::string::npos ||
        LeadingInt(id) > 253) {
        error = "servo ID must be 0..253 in \"" + text + "\"";
        return false;
    }
    spec.id = static_cast<uint8_t>(LeadingInt(id));
    spec.model = rest;
    return true;
}

// Reads "hand ID POSITION" lines on standard input until it ends or `stop` is set; what
// goes wrong is said on stderr and changes nothing.
void ReadHandLines(VirtualBus& bus, const std::atomic<bool>& stop)
{
    std::string pending;
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    while (!stop) {
        // Started in the background of a shell, the terminal's lines are the foreground's:
        // they are left alone until servo-sim is brought to the foreground.
        if (terminal && ::tcgetpgrp(STDIN_FILENO) != ::getpgrp()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 100) <= 0)
            continue;
        char bytes[512];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n < 0 && (errno == EIO || errno == EINTR || errno == EAGAIN)) {
            // Sent to the background meanwhile, or interrupted: a look again a little later.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        if (n <= 0)
            return;  // standard input ended (or is closed): the bus serves on
        pending.append(bytes, static_cast<size_t>(n));
        // A line longer than any sensible command is dropped rather than kept growing.
        if (pending.size() > 4096 && pending.find('\n') == std::string::npos) {
            std::cerr << "servo-sim: input line too long, ignored" << std::endl;
            pending.clear();
        }
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos)
                continue;
            HandTurn turn;
            std::string error;
            if (!ParseHandLine(line, turn, error) ||
                !bus.TurnByHand(static_cast<uint8_t>(turn.id), turn.position, error))
                std::cerr << "servo-sim: " << error << std::endl;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"A virtual bus of servos on a pseudo-terminal, for trying the tools without "
                 "hardware."};
    std::string catalogueFile, link, logFile, imageFile;
    std::vector<std::string> servoTexts, faultTexts;
    std::vector<int> reversedIds;
    double drop = 0, corrupt = 0;
    int delayMs = 0, refuse = 0, returnDelayUs = 20, vanishAfterMs = -1, returnAfterMs = -1;
    bool pacing = false, plainMotion = false, echo = false;
    double load = 0, supplyOhms = 0;
    app.add_option("--catalogue", catalogueFile, "model catalogue (GBK; default: setup.log here, "
                                                "else the user's, else the installed one)");
    app.add_option("--link", link, "make a symbolic link PATH to the bus's device");
    app.add_option("--log", logFile, "append every packet heard and sent to FILE, one hex line each");
    app.add_option("--servo", servoTexts, "a servo: ID:MODEL[:BAUDCODE]")->required();
    app.add_option("--drop", drop, "share of answers dropped (0..1)")->check(CLI::Range(0.0, 1.0));
    app.add_option("--corrupt", corrupt, "share of answers with a corrupted byte (0..1)")
        ->check(CLI::Range(0.0, 1.0));
    app.add_option("--fault", faultTexts, "faults of one servo: ID:drop=SHARE (a share of its answers "
                                          "dropped) or ID:corrupt=SHARE (sent with a wrong byte)")
        ->type_name("ID:KIND=SHARE");
    app.add_flag("--echo", echo, "the line hands back every byte sent to it, as an adapter whose "
                                 "transmit and receive lines are joined");
    app.add_option("--supply-resistance", supplyOhms, "the servos share a supply of OHMS: each "
                                                      "one's voltage falls with all their current")
        ->check(CLI::Range(0.0, 100.0))
        ->type_name("OHMS");
    app.add_option("--delay", delayMs, "hold every answer this many milliseconds")
        ->check(CLI::Range(0, 10000));
    app.add_option("--refuse-blocks", refuse, "refuse the next N firmware blocks")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--pacing", pacing, "pace the line both ways: requests and answers take their wire "
                                     "time at the line's rate");
    app.add_option("--return-delay-us", returnDelayUs, "return delay added by --pacing")
        ->check(CLI::Range(0, 1000000));
    app.add_option("--load", load, "a constant load torque on every servo, in the maximum-torque "
                                   "row's units (a negative one pulls the other way)")
        ->check(CLI::Range(-1000.0, 1000.0))
        ->type_name("N");
    app.add_flag("--plain-motion", plainMotion, "move the servos straight to their targets at the "
                                               "commanded speed, as earlier versions did, ignoring "
                                               "their gains and torque");
    app.add_option("--reversed-correction", reversedIds,
                   "servo ID whose position correction counts the other way (repeatable)")
        ->check(CLI::Range(0, 253))
        ->type_name("ID");
    app.add_option("--image-out", imageFile, "write a received firmware image to FILE");
    app.add_option("--vanish-after", vanishAfterMs,
                   "go away after MS, as an unplugged adapter does: the device closes and "
                   "the --link disappears")
        ->check(CLI::NonNegativeNumber)
        ->type_name("MS");
    app.add_option("--return-after", returnAfterMs,
                   "come back MS after vanishing, on a new device behind the same --link")
        ->check(CLI::NonNegativeNumber)
        ->type_name("MS");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (catalogueFile.empty())
        catalogueFile = FindCatalogue().path;
    ModelCatalogue catalogue(catalogueFile);
    VirtualBus bus(catalogue);
    for (const auto& text : servoTexts) {
        ServoSpec spec;
        std::string error;
        if (!ParseServo(text, spec, error) || !bus.AddServo(spec, error)) {
            std::cerr << "servo-sim: " << error << "\n";
            if (error.rfind("no model", 0) == 0) {
                std::cerr << "models:";
                for (const auto& name : ListServoModels(catalogue))
                    std::cerr << " \"" << name << "\"";
                std::cerr << "\n";
            }
            return 2;
        }
    }
    for (const int id : reversedIds)
        if (!bus.ReverseCorrection(static_cast<uint8_t>(id))) {
            std::cerr << "servo-sim: --reversed-correction " << id << ": no such servo\n";
            return 2;
        }
    std::vector<ServoFaultSpec> faults;
    for (const auto& text : faultTexts) {
        std::string error;
        if (!ParseServoFault(text, faults, error)) {
            std::cerr << "servo-sim: " << error << "\n";
            return 2;
        }
    }
    for (const auto& f : faults)
        bus.SetServoFault(f.id, f.drop, f.corrupt);
    bus.SetEcho(echo);
    bus.SetSupplyResistance(supplyOhms);
    bus.SetDropShare(drop);
    bus.SetCorruptShare(corrupt);
    bus.SetReplyDelayMs(delayMs);
    bus.RefuseNextBlocks(refuse);
    bus.SetPacing(pacing, returnDelayUs);
    bus.SetMotion(plainMotion ? SimMotion::Plain : SimMotion::Body);
    bus.SetLoad(load);
    bus.KeepLogLines(false);  // serves for hours; --log writes the lines to a file instead
    if (!logFile.empty())
        bus.SetLogFile(logFile);
    if (!imageFile.empty())
        bus.SetImageFile(imageFile);

    // Block the stop signals before any thread starts, then wait for one of them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A read of the terminal from the background fails rather than stopping the bus.
    std::signal(SIGTTIN, SIG_IGN);

    if (returnAfterMs >= 0 && (vanishAfterMs < 0 || link.empty())) {
        std::cerr << "servo-sim: --return-after needs --vanish-after and --link (the name it "
                     "comes back under)\n";
        return 2;
    }
    bus.SetLinkPath(link);
    std::string error;
    if (!bus.Start(error)) {
        std::cerr << "servo-sim: " << error << "\n";
        return 1;
    }
    std::cout << bus.DevicePath() << std::endl;
    std::atomic<bool> stopReading{false};
    std::thread handLines([&] { ReadHandLines(bus, stopReading); });
    struct Join {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Join() { stop = true; thread.join(); }
    } join{stopReading, handLines};

    // Waits for a stop signal, going away and coming back on the way when asked to.
    using Clock = std::chrono::steady_clock;
    auto due = Clock::now() + std::chrono::milliseconds(vanishAfterMs);
    enum class Next { Vanish, Return, Nothing } next = vanishAfterMs >= 0 ? Next::Vanish : Next::Nothing;
    for (;;) {
        int signal = 0;
        if (next == Next::Nothing) {
            sigwait(&stopSignals, &signal);
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
        if (left > 0) {
            const timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000L};
            if (sigtimedwait(&stopSignals, nullptr, &wait) > 0)
                break;
            continue;  // the time is up (or an interruption: the loop looks again)
        }
        if (next == Next::Vanish) {
            bus.Vanish();
            std::cerr << "servo-sim: vanished" << std::endl;
            next = returnAfterMs >= 0 ? Next::Return : Next::Nothing;
            due = Clock::now() + std::chrono::milliseconds(returnAfterMs);
        } else {
            if (!bus.Return(error)) {
                std::cerr << "servo-sim: " << error << "\n";
                return 1;
            }
            std::cerr << "servo-sim: back on " << bus.DevicePath() << std::endl;
            next = Next::Nothing;
        }
    }
    bus.Stop();
    // What each servo did, for a comparison with what the program on the bus counted.
    for (const auto& t : bus.Tally())
        std::cerr << TallyLine(t.id, t.heard, t.answered, t.dropped, t.corrupted) << "\n";
    return 0;
}
