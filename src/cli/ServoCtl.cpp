#include "cli/ServoCtl.h"

#include "catalogue/CatalogueLocation.h"
#include "catalogue/ModelCatalogue.h"
#include "cli/AutoTimeout.h"
#include "cli/BusScan.h"
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/PortListing.h"
#include "pages/debug/PositionCommand.h"
#include "protocol/ZNServo.h"
#include "serial/CZNComm.h"
#include "support/BaudRates.h"
#include "support/HexText.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace {

struct Texts {
    std::string port, baud = "115200", timeout = "100", catalogue;
    std::string byteOrder, statusLevel, positionAddress;
    std::string from = "0", to = "253";
    std::string id, address, count, value, target, acc = "0", speed = "0", time = "0";
    std::string mode = "normal", last, state;
    std::vector<std::string> bytes;
    bool allRates = false, verbose = false, trace = false;
};

WriteMode ModeOf(const std::string& mode)
{
    return mode == "sync" ? WriteMode::Sync : mode == "reg" ? WriteMode::Registered
                                                            : WriteMode::Normal;
}

// The checked numbers of a command line.
struct Plan {
    int id, address, count, last;
    long long value;
    int target, acc, speed, time, from, to;
    bool autoTimeout;
    long long byteOrder, statusLevel, positionAddress;
    bool allRates;
    std::string mode, state;
};

// A command on the open port, inside the bus job.
int RunOnBus(Session& s, const CtlCommand* group, const std::string& name, const Plan& p,
             const std::vector<uint8_t>& data)
{
    auto& servo = s.servo;
    const int id = p.id;
    const auto sid = static_cast<uint8_t>(id);
    auto identify = [&](int who) {
        return s.Identify(static_cast<uint8_t>(who), p.byteOrder, p.statusLevel, p.positionAddress);
    };

    if (group) {
        if (group->identify)
            if (const int r = identify(group->servoId ? group->servoId() : id); r != kCtlDone)
                return r;
        return group->run(s);
    }

    if (name == "scan")
        return RunScan(s, ScanOptions{p.from, p.to, p.allRates, p.autoTimeout});
    if (name == "read") {
        std::vector<uint8_t> bytes(static_cast<size_t>(p.count));
        const Reply r = servo.ReadMemory(sid, static_cast<uint8_t>(p.address), bytes.data(),
                                         static_cast<uint8_t>(p.count));
        if (!r)
            return s.Fail(id, r);
        s.NoteError(id, r);
        s.out << HexText(bytes.data(), bytes.size()) << std::endl;
        return kCtlDone;
    }
    if (name == "action") {
        if (servo.Action())
            return kCtlDone;
        s.err << "servoctl: the action packet was not sent\n";
        return kCtlBusFailed;
    }

    if (const int r = identify(id); r != kCtlDone)
        return r;
    const ServoProfile& profile = s.profile;
    const auto a = static_cast<uint8_t>(p.address);
    auto status = [&](const Reply& r, int who) -> int {
        if (!r)
            return s.Fail(who, r);
        s.NoteError(who, r);
        return kCtlDone;
    };
    if (name == "write")
        return status(servo.WriteMemory(profile, sid, a, data.data(),
                                        static_cast<uint8_t>(data.size())),
                      id);
    if (name == "write-byte")
        return status(servo.WriteByte(profile, sid, a, static_cast<uint8_t>(p.value)), id);
    if (name == "write-word")
        return status(servo.WriteWord(profile, sid, a, static_cast<int>(p.value)), id);

    const WriteMode mode = ModeOf(p.mode);
    const auto torqueAddress = static_cast<uint8_t>(profile.positionAddress - 1);
    auto send = [&](int first, int end) {
        return name == "move" ? IssuePositionCommand(servo, profile, mode, first, end, p.target,
                                                     p.speed, p.time, p.acc)
                              : SendTorqueSwitch(servo, profile, mode, first, end, torqueAddress,
                                                 p.state == "on");
    };
    if (mode == WriteMode::Sync) {
        if (!send(id, p.last)) {
            s.err << "servoctl: a sync packet was not sent\n";
            return kCtlBusFailed;
        }
        return kCtlDone;
    }
    // One exchange per servo, so a failure names its servo.
    for (int each = id; each <= p.last; ++each)
        if (const Reply r = send(each, each); !r)
            return s.Fail(each, r);
    return kCtlDone;
}

}  // namespace

int RunServoCtl(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Texts t;
    CLI::App app{"Servo bus from the command line: find servos, read and write their memory, "
                 "move them.",
                 "servoctl"};
    app.require_subcommand(1);
    app.failure_message(CLI::FailureMessage::help);
    app.add_option("-p,--port", t.port, "serial port (default: the first the window lists)")
        ->type_name("PORT");
    app.add_option("-b,--baud", t.baud, "baud rate, one of the baud list")->capture_default_str()->type_name("N");
    app.add_option("-t,--timeout", t.timeout, "read and write time-out, ms; auto: "
                                                 "from the exchange, rate and adapter")->capture_default_str()->type_name("N|auto");
    app.add_option("--catalogue", t.catalogue, "model catalogue (default: setup.log here, else "
                                               "the user's, else the installed one)")->type_name("FILE");
    app.add_flag("-v,--verbose", t.verbose, "name the catalogue when it is not the working "
                                            "directory's");
    app.add_flag("--trace", t.trace, "print every packet in and out on stderr: time in us since "
                                     "the port opened, direction, operation, bytes, decoding");
    app.add_option("--byte-order", t.byteOrder, "0 low byte first, 1 high byte first")->type_name("N");
    app.add_option("--status-level", t.statusLevel, "0 servos answer no writes, 1 they do")->type_name("N");
    app.add_option("--position-address", t.positionAddress, "first address of the position block")->type_name("N");

    app.add_subcommand("ports", "list the serial ports: device, by-id link, driver, "
                                "latency timer (ms), USB product");
    auto* scan = app.add_subcommand("scan", "find the servos that answer at this rate");
    scan->add_option("--from", t.from, "first ID")->capture_default_str()->type_name("N");
    scan->add_option("--to", t.to, "last ID")->capture_default_str()->type_name("N");
    scan->add_flag("--all-rates", t.allRates, "scan at each rate of the baud list in turn");
    auto* read = app.add_subcommand("read", "read COUNT bytes of memory from ADDRESS");
    read->add_option("ID", t.id)->required()->type_name("N");
    read->add_option("ADDRESS", t.address)->required()->type_name("N");
    read->add_option("COUNT", t.count)->required()->type_name("N");
    auto* write = app.add_subcommand("write", "write bytes from ADDRESS in one packet");
    write->add_option("ID", t.id)->required()->type_name("N");
    write->add_option("ADDRESS", t.address)->required()->type_name("N");
    write->add_option("BYTE", t.bytes)->required()->type_name("N");
    auto* writeByte = app.add_subcommand("write-byte", "write one byte");
    auto* writeWord = app.add_subcommand("write-word", "write a 16-bit word in the servo's byte order");
    for (auto* sub : {writeByte, writeWord}) {
        sub->add_option("ID", t.id)->required()->type_name("N");
        sub->add_option("ADDRESS", t.address)->required()->type_name("N");
        sub->add_option("VALUE", t.value)->required()->type_name("N");
    }
    auto* move = app.add_subcommand("move", "position command");
    move->add_option("ID", t.id)->required()->type_name("N");
    move->add_option("TARGET", t.target)->required()->type_name("N");
    move->add_option("--acc", t.acc, "acceleration 0..255")->capture_default_str()->type_name("N");
    move->add_option("--speed", t.speed, "speed; negative values travel with bit 15 set")
        ->capture_default_str()->type_name("N");
    move->add_option("--time", t.time, "time; negative values travel with bit 10 set")
        ->capture_default_str()->type_name("N");
    auto* torque = app.add_subcommand("torque", "switch torque output on or off");
    torque->add_option("ID", t.id)->required()->type_name("N");
    torque->add_option("STATE", t.state)->required()->type_name("on|off")->check(CLI::IsMember({"on", "off"}));
    for (auto* sub : {move, torque}) {
        sub->add_option("--mode", t.mode, "normal: one servo; sync: sync packets for ID..LAST "
                                          "(31 servos a packet for move, 125 for torque); "
                                          "reg: a registered write per ID")
            ->check(CLI::IsMember({"normal", "sync", "reg"}))
            ->type_name("MODE")
            ->capture_default_str();
        sub->add_option("--last", t.last, "last ID of the range (sync and reg)")->type_name("N");
    }
    app.add_subcommand("action", "perform the registered writes of all servos");
    std::vector<CtlCommand> groups;
    AddMonitorCommands(app, groups);
    AddProgramCommands(app, groups);
    AddUpgradeCommands(app, groups);

    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kCtlDone : kCtlBadUsage;
    }
    CLI::App* command = app.get_subcommands().front();
    const std::string name = command->get_name();
    const CtlCommand* group = nullptr;
    for (const auto& g : groups)
        if (g.sub == command)
            group = &g;

    // Every number is checked before anything is sent.
    Checker c;
    const int rate = static_cast<int>(c.Get(t.baud, "baud rate", 1, 1000000));
    if (c.error.empty() && BaudCodeOfRate(rate) < 0)
        c.Fail("baud rate must be one of 1000000 500000 250000 128000 115200 76800 57600 38400");
    const bool autoTimeout = t.timeout == "auto";
    const int timeoutMs =
        autoTimeout ? 100 : static_cast<int>(c.Get(t.timeout, "time-out (or auto)", 0, 60000));
    const long long byteOrder = t.byteOrder.empty() ? -1 : c.Get(t.byteOrder, "--byte-order", 0, 1);
    const long long statusLevel =
        t.statusLevel.empty() ? -1 : c.Get(t.statusLevel, "--status-level", 0, 1);
    const long long positionAddress =
        t.positionAddress.empty() ? -1 : c.Get(t.positionAddress, "--position-address", 0, 249);
    const int id = t.id.empty() ? 0 : static_cast<int>(c.Get(t.id, "ID", 0, 254));
    const int address = t.address.empty() ? 0 : static_cast<int>(c.Get(t.address, "ADDRESS", 0, 255));
    int from = 0, to = 0, count = 0, last = id;
    long long value = 0;
    std::vector<uint8_t> data;
    int target = 0, acc = 0, speed = 0, time = 0;
    if (name == "scan") {
        from = static_cast<int>(c.Get(t.from, "--from", 0, 253));
        to = static_cast<int>(c.Get(t.to, "--to", 0, 253));
        if (from > to)
            c.Fail("--from must not lie above --to");
    } else if (name == "read") {
        count = static_cast<int>(c.Get(t.count, "COUNT", 1, 253));
        if (address + count > 256)
            c.Fail("ADDRESS + COUNT must not pass the end of memory (256)");
    } else if (name == "write") {
        for (const auto& b : t.bytes)
            data.push_back(static_cast<uint8_t>(c.Get(b, "BYTE", 0, 255)));
        if (data.size() > 252)
            c.Fail("at most 252 bytes fit one packet");
        if (address + data.size() > 256)
            c.Fail("ADDRESS + the bytes must not pass the end of memory (256)");
    } else if (name == "write-byte") {
        value = c.Get(t.value, "VALUE", 0, 255);
    } else if (name == "write-word") {
        value = c.Get(t.value, "VALUE", 0, 65535);
        if (address > 254)
            c.Fail("a word needs ADDRESS 0..254");
    } else if (name == "move") {
        target = LimitTarget(static_cast<int>(c.Get(t.target, "TARGET", INT32_MIN + 1, INT32_MAX)));
        acc = static_cast<int>(c.Get(t.acc, "--acc", 0, 255));
        speed = EncodeSpeed(static_cast<int>(c.Get(t.speed, "--speed", -32767, 32767)));
        time = EncodeTime(static_cast<int>(c.Get(t.time, "--time", -1023, 1023)));
    }
    if (name == "move" || name == "torque") {
        if (!t.last.empty())
            last = static_cast<int>(c.Get(t.last, "--last", 0, 253));
        if (!t.last.empty() && t.mode == "normal")
            c.Fail("--last needs --mode sync or reg");
        if (last < id)
            c.Fail("--last must not lie below ID");
        if (t.mode != "normal" && id == kBroadcastId)
            c.Fail("a range can't start at the broadcast ID");
    }
    if (group && group->check)
        group->check(c);
    if (!c.error.empty()) {
        err << "servoctl: " << c.error << "\n" << command->help();
        return kCtlBadUsage;
    }

    if (t.catalogue.empty()) {  // --catalogue wins over the search
        const CatalogueLocation found = FindCatalogue();
        t.catalogue = found.path;
        if (t.verbose && found.source != CatalogueSource::WorkingDirectory)
            err << "servoctl: " << CatalogueNote(found) << "\n";
    }

    if (name == "ports") {
        PrintPorts(out, SystemRoots{});
        return kCtlDone;
    }
    if (group && !group->port) {
        Session s(t.catalogue, out, err);
        return group->run(s);
    }

    std::string port = t.port;
    if (port.empty()) {
        CZNComm probe;
        if (probe.EnumeratePorts() <= 0) {
            err << "servoctl: no serial port found; name one with -p\n";
            return kCtlBusFailed;
        }
        port = probe.portNames[static_cast<size_t>(probe.portCount - 1)];
    }
    // The port's opening and the command's exchanges are one job on the bus's thread; this
    // thread waits for it.
    Session s(t.catalogue, out, err);
    if (t.trace)
        s.Trace();
    return s.bus.Run(JobKind::Command, [&](BusAccess&) -> int {
        if (const int r = s.Open(port, rate, timeoutMs); r != kCtlDone)
            return r;
        if (autoTimeout) {
            const Exchange exchange = CommandExchange(name, count, static_cast<int>(data.size()),
                                                      t.mode, last - id + 1);
            const int latency = AdapterLatencyMs(s.comm.latencyMs, s.comm.usbDevice);
            s.comm.timeoutMs = AutoTimeoutMs(exchange, rate, latency);
            s.comm.SetTimeouts(s.comm.timeoutMs);
        }
        return RunOnBus(s, group, name, Plan{id, address, count, last, value, target, acc, speed,
                                             time, from, to, autoTimeout, byteOrder, statusLevel,
                                             positionAddress, t.allRates, t.mode, t.state},
                        data);
    });
}
