// servoctl's commands on the bus itself: the port list, the scan, memory reads and writes,
// position commands, the torque switch and the action packet.
#include "cli/BusScan.h"
#include "cli/CtlCommand.h"
#include "cli/PortListing.h"
#include "servo/AutoTimeout.h"
#include "servo/DebugTarget.h"
#include "servo/PositionCommand.h"
#include "support/HexText.h"

#include <CLI/CLI.hpp>

#include <climits>
#include <memory>
#include <ostream>

namespace {

struct BusArgs {
    std::string from = "0", to = "253";
    bool allRates = false;
    std::string id, address, count, value, target, acc = "0", speed = "0", time = "0";
    std::string mode = "normal", last, state;
    std::vector<std::string> bytes;
    // Checked.
    int servoId = 0, at = 0, first = 0, end = 0, length = 0, lastId = 0;
    long long number = 0;
    int goal = 0, acceleration = 0, velocity = 0, duration = 0;
    std::vector<uint8_t> data;
};

// An answered reply, its error byte named; else the failure.
int Status(Session& s, int id, const Reply& r)
{
    if (!r)
        return s.Fail(id, r);
    s.NoteError(id, r);
    return kCtlDone;
}

int Read(Session& s, const BusArgs& a)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(a.length));
    const Reply r = s.access->protocol.ReadMemory(static_cast<uint8_t>(a.servoId), static_cast<uint8_t>(a.at),
                                       bytes.data(), static_cast<uint8_t>(a.length));
    if (!r)
        return s.Fail(a.servoId, r);
    s.NoteError(a.servoId, r);
    s.out << HexText(bytes.data(), bytes.size()) << std::endl;
    return kCtlDone;
}

WriteMode ModeOf(const std::string& mode)
{
    return mode == "sync" ? WriteMode::Sync : mode == "reg" ? WriteMode::Registered
                                                            : WriteMode::Normal;
}

// A position command or the torque switch to ID..LAST.
int ToServos(Session& s, const BusArgs& a, bool move)
{
    const ServoProfile& profile = s.identity.profile;
    const WriteMode mode = ModeOf(a.mode);
    const uint8_t torqueAddress = TorqueSwitchAddress({profile, s.identity.debug});
    auto send = [&](int first, int end) {
        return move ? IssuePositionCommand(s.access->protocol, profile, mode, first, end, a.goal, a.velocity,
                                           a.duration, a.acceleration)
                    : SendTorqueSwitch(s.access->protocol, profile, mode, first, end, torqueAddress,
                                       a.state == "on");
    };
    if (mode == WriteMode::Sync) {
        if (!send(a.servoId, a.lastId)) {
            s.err << "servoctl: a sync packet was not sent\n";
            return kCtlBusFailed;
        }
        return kCtlDone;
    }
    // One exchange per servo, so a failure names its servo.
    for (int each = a.servoId; each <= a.lastId; ++each)
        if (const Reply r = send(each, each); !r)
            return s.Fail(each, r);
    return kCtlDone;
}

}  // namespace

void AddBusCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<BusArgs>();
    auto add = [&](const char* name, const char* help) {
        CtlCommand c;
        c.sub = app.add_subcommand(name, help);
        c.servoId = [a] { return a->servoId; };
        return c;
    };
    auto checkId = [a](Checker& c) { a->servoId = static_cast<int>(c.Get(a->id, "ID", 0, 254)); };
    auto checkAddress = [a, checkId](Checker& c) {
        checkId(c);
        a->at = static_cast<int>(c.Get(a->address, "ADDRESS", 0, 255));
    };

    CtlCommand ports = add("ports", "list the serial ports: device, by-id link (Windows: friendly "
                                     "name), driver (Windows: maker), latency timer (ms), USB "
                                     "product (Windows: USB vendor:product)");
    ports.port = false;
    ports.identify = false;
    ports.run = [](Session& s) {
        PrintPorts(s.out, SystemRoots{});
        return kCtlDone;
    };

    CtlCommand scan = add("scan", "find the servos that answer at this rate");
    scan.sub->add_option("--from", a->from, "first ID")->capture_default_str()->type_name("N");
    scan.sub->add_option("--to", a->to, "last ID")->capture_default_str()->type_name("N");
    scan.sub->add_flag("--all-rates", a->allRates, "scan at each rate of the baud list in turn");
    scan.identify = false;
    scan.check = [a](Checker& c) {
        a->first = static_cast<int>(c.Get(a->from, "--from", 0, 253));
        a->end = static_cast<int>(c.Get(a->to, "--to", 0, 253));
        if (a->first > a->end)
            c.Fail("--from must not lie above --to");
    };
    scan.exchange = [] { return kIdentifyExchange; };
    scan.run = [a](Session& s) {
        return RunScan(s, ScanOptions{a->first, a->end, a->allRates, s.autoTimeout});
    };

    CtlCommand read = add("read", "read COUNT bytes of memory from ADDRESS");
    read.sub->add_option("ID", a->id)->required()->type_name("N");
    read.sub->add_option("ADDRESS", a->address)->required()->type_name("N");
    read.sub->add_option("COUNT", a->count)->required()->type_name("N");
    read.identify = false;
    read.check = [a, checkAddress](Checker& c) {
        checkAddress(c);
        a->length = static_cast<int>(c.Get(a->count, "COUNT", 1, 253));
        if (a->at + a->length > 256)
            c.Fail("ADDRESS + COUNT must not pass the end of memory (256)");
    };
    read.exchange = [a] { return ReadExchange(a->length); };
    read.run = [a](Session& s) { return Read(s, *a); };

    CtlCommand write = add("write", "write bytes from ADDRESS in one packet");
    write.sub->add_option("ID", a->id)->required()->type_name("N");
    write.sub->add_option("ADDRESS", a->address)->required()->type_name("N");
    write.sub->add_option("BYTE", a->bytes)->required()->type_name("N");
    write.check = [a, checkAddress](Checker& c) {
        checkAddress(c);
        for (const auto& b : a->bytes)
            a->data.push_back(static_cast<uint8_t>(c.Get(b, "BYTE", 0, 255)));
        if (a->data.size() > 252)
            c.Fail("at most 252 bytes fit one packet");
        if (a->at + a->data.size() > 256)
            c.Fail("ADDRESS + the bytes must not pass the end of memory (256)");
    };
    write.exchange = [a] { return WriteExchange(static_cast<int>(a->data.size())); };
    write.run = [a](Session& s) {
        return Status(s, a->servoId,
                      s.access->protocol.WriteMemory(s.identity.profile, static_cast<uint8_t>(a->servoId),
                                          static_cast<uint8_t>(a->at), a->data.data(),
                                          static_cast<uint8_t>(a->data.size())));
    };

    CtlCommand writeByte = add("write-byte", "write one byte");
    CtlCommand writeWord = add("write-word", "write a 16-bit word in the servo's byte order");
    for (CtlCommand* c : {&writeByte, &writeWord}) {
        c->sub->add_option("ID", a->id)->required()->type_name("N");
        c->sub->add_option("ADDRESS", a->address)->required()->type_name("N");
        c->sub->add_option("VALUE", a->value)->required()->type_name("N");
    }
    writeByte.check = [a, checkAddress](Checker& c) {
        checkAddress(c);
        a->number = c.Get(a->value, "VALUE", 0, 255);
    };
    writeByte.exchange = [] { return WriteExchange(1); };
    writeByte.run = [a](Session& s) {
        return Status(s, a->servoId,
                      s.access->protocol.WriteByte(s.identity.profile, static_cast<uint8_t>(a->servoId),
                                        static_cast<uint8_t>(a->at), static_cast<uint8_t>(a->number)));
    };
    writeWord.check = [a, checkAddress](Checker& c) {
        checkAddress(c);
        a->number = c.Get(a->value, "VALUE", 0, 65535);
        if (a->at > 254)
            c.Fail("a word needs ADDRESS 0..254");
    };
    writeWord.exchange = [] { return WriteExchange(2); };
    writeWord.run = [a](Session& s) {
        return Status(s, a->servoId,
                      s.access->protocol.WriteWord(s.identity.profile, static_cast<uint8_t>(a->servoId),
                                        static_cast<uint8_t>(a->at), static_cast<int>(a->number)));
    };

    CtlCommand move = add("move", "position command");
    move.sub->add_option("ID", a->id)->required()->type_name("N");
    move.sub->add_option("TARGET", a->target)->required()->type_name("N");
    move.sub->add_option("--acc", a->acc, "acceleration 0..255")->capture_default_str()->type_name("N");
    move.sub->add_option("--speed", a->speed, "speed; negative values travel with bit 15 set")
        ->capture_default_str()->type_name("N");
    move.sub->add_option("--time", a->time, "time; negative values travel with bit 10 set")
        ->capture_default_str()->type_name("N");
    CtlCommand torque = add("torque", "switch torque output on or off");
    torque.sub->add_option("ID", a->id)->required()->type_name("N");
    torque.sub->add_option("STATE", a->state)->required()->type_name("on|off")->check(CLI::IsMember({"on", "off"}));
    for (CtlCommand* c : {&move, &torque}) {
        c->sub->add_option("--mode", a->mode, "normal: one servo; sync: sync packets for ID..LAST "
                                              "(31 servos a packet for move, 125 for torque); "
                                              "reg: a registered write per ID")
            ->check(CLI::IsMember({"normal", "sync", "reg"}))
            ->type_name("MODE")
            ->capture_default_str();
        c->sub->add_option("--last", a->last, "last ID of the range (sync and reg)")->type_name("N");
    }
    auto checkRange = [a](Checker& c) {
        a->lastId = a->servoId;
        if (!a->last.empty())
            a->lastId = static_cast<int>(c.Get(a->last, "--last", 0, 253));
        if (!a->last.empty() && a->mode == "normal")
            c.Fail("--last needs --mode sync or reg");
        if (a->lastId < a->servoId)
            c.Fail("--last must not lie below ID");
        if (a->mode != "normal" && a->servoId == kBroadcastId)
            c.Fail("a range can't start at the broadcast ID");
    };
    move.check = [a, checkId, checkRange](Checker& c) {
        checkId(c);
        a->goal = LimitTarget(static_cast<int>(c.Get(a->target, "TARGET", INT32_MIN + 1, INT32_MAX)));
        a->acceleration = static_cast<int>(c.Get(a->acc, "--acc", 0, 255));
        a->velocity = EncodeSpeed(static_cast<int>(c.Get(a->speed, "--speed", -32767, 32767)));
        a->duration = EncodeTime(static_cast<int>(c.Get(a->time, "--time", -1023, 1023)));
        checkRange(c);
    };
    torque.check = [checkId, checkRange](Checker& c) {
        checkId(c);
        checkRange(c);
    };
    move.exchange = [a] {
        return ServoCommandExchange(kPositionBlockBytes, a->mode == "sync", a->lastId - a->servoId + 1);
    };
    torque.exchange = [a] {
        return ServoCommandExchange(kTorqueBlockBytes, a->mode == "sync", a->lastId - a->servoId + 1);
    };
    move.run = [a](Session& s) { return ToServos(s, *a, true); };
    torque.run = [a](Session& s) { return ToServos(s, *a, false); };

    CtlCommand action = add("action", "perform the registered writes of all servos");
    action.identify = false;
    action.exchange = [] { return kActionExchange; };
    action.run = [](Session& s) {
        if (s.access->protocol.Action())
            return kCtlDone;
        s.err << "servoctl: the action packet was not sent\n";
        return kCtlBusFailed;
    };
    for (CtlCommand* c : {&ports, &scan, &read, &write, &writeByte, &writeWord, &move, &torque, &action})
        commands.push_back(std::move(*c));
}
