#include "protocol/PacketDecode.h"

#include "protocol/ZNS.h"
#include "support/HexText.h"

#include <cstdio>

namespace {

std::string Hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

// A framed packet checked whole: the parameters lie between the instruction (or a reply's
// error byte) and the checksum.
struct Frame {
    bool whole = false;
    const char* fault = nullptr;  // why it is not a packet
    uint8_t id = 0, instruction = 0;
    const uint8_t* params = nullptr;
    int paramCount = 0;
};

Frame Parse(const uint8_t* b, int n)
{
    Frame f;
    if (n < 6)
        return f.fault = "too short for a packet", f;
    if (b[0] != 0xFF || b[1] != 0xFF)
        return f.fault = "no FF FF header", f;
    f.id = b[2];
    f.instruction = b[4];
    if (b[3] + 4 != n)
        return f.fault = "length byte does not match", f;
    if (PacketChecksum(b + 2, n - 3) != b[n - 1])
        return f.fault = "bad checksum", f;
    f.whole = true;
    f.params = b + 5;
    f.paramCount = n - 6;
    return f;
}

std::string DecodeInstruction(const Frame& f)
{
    std::string s = "ID " + std::to_string(f.id) + " " + InstructionName(f.instruction);
    const uint8_t* p = f.params;
    const int n = f.paramCount;
    switch (f.instruction) {
    case instr::kRead:
        if (n == 2)
            return s + " addr " + std::to_string(p[0]) + " count " + std::to_string(p[1]);
        break;
    case instr::kWrite:
    case instr::kRegWrite:
        if (n >= 1)
            return s + " addr " + std::to_string(p[0]) + " data " +
                   (n > 1 ? HexBytes(p + 1, n - 1) : std::string("none"));
        break;
    case instr::kSyncWrite:
        if (n >= 2) {
            const int length = p[1];
            s += " addr " + std::to_string(p[0]) + " length " + std::to_string(length) + " servos";
            int g = 2;
            for (; g + length + 1 <= n; g += length + 1)
                s += " " + std::to_string(p[g]);
            if (g != n)
                s += " (groups do not fit)";
            return s;
        }
        break;
    default:
        if (n == 0)
            return s;
        break;
    }
    return n > 0 ? s + " params " + HexBytes(p, n) : s;
}

std::string DecodeReply(const PacketView& v)
{
    const uint8_t* b = v.bytes;
    const int n = v.size;
    if (n == 0)
        return "no answer";
    std::string s;
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xFF)
        s = "ID " + std::to_string(b[2]) + " ";
    switch (v.verdict) {
    case Verdict::Good: {
        const Frame f = Parse(b, n);
        // The verdict before the data: a narrow column still shows it.
        s += (f.paramCount == 0 ? "status" : "reply") + std::string(" good error ") + Hex2(b[4]);
        if (f.paramCount > 0)
            s += " data " + HexBytes(f.params, f.paramCount);
        return s;
    }
    case Verdict::Short:
        return s + "short (" + std::to_string(n) + " bytes)";
    case Verdict::Late:
        return s + "late (another ID's answer)";
    case Verdict::Damaged:
        return s + "damaged (" + DamageName(v.damage) + ")";
    default:
        return s + VerdictName(v.verdict);
    }
}

const char* StepName(LoaderStep step)
{
    switch (step) {
    case LoaderStep::Unlock: return "unlock";
    case LoaderStep::Start: return "start";
    case LoaderStep::Block: return "block";
    case LoaderStep::Answer: return "answer";
    case LoaderStep::None: break;
    }
    return "";
}

std::string DecodeLoader(const PacketView& v)
{
    std::string s = "loader ";
    if (v.loader == LoaderStep::Block)
        return s + "block " + std::to_string(v.block);
    if (v.loader != LoaderStep::Answer)
        return s + StepName(v.loader);
    s += "answer";
    if (v.size == 0)
        s += " none";
    else if (v.bytes[0] == 0x06)
        s += " ACK";
    else if (v.bytes[0] == 0x15)
        s += " NAK";
    else
        s += " " + Hex2(v.bytes[0]);
    s += " to ";
    return v.answering == LoaderStep::Block ? s + "block " + std::to_string(v.block)
                                            : s + StepName(v.answering);
}

}  // namespace

Verdict VerdictOf(const Reply& reply, int size)
{
    switch (reply.outcome) {
    case Outcome::Answered: return Verdict::Good;
    case Outcome::Damaged: return reply.damage == Damage::Id ? Verdict::Late : Verdict::Damaged;
    case Outcome::PortGone: return Verdict::PortGone;
    default: return size > 0 ? Verdict::Short : Verdict::NoAnswer;
    }
}

const char* InstructionName(uint8_t instruction)
{
    switch (instruction) {
    case instr::kRead: return "READ";
    case instr::kWrite: return "WRITE";
    case instr::kRegWrite: return "REG_WRITE";
    case instr::kAction: return "ACTION";
    case instr::kRestore: return "RESTORE";
    case instr::kUpgrade: return "UPGRADE";
    case instr::kRisky: return "RISKY";
    case instr::kResetAngle: return "RESET_ANGLE";
    case instr::kSyncWrite: return "SYNC_WRITE";
    default: return "UNKNOWN";
    }
}

const char* VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Sent: return "sent";
    case Verdict::Good: return "good";
    case Verdict::Short: return "short";
    case Verdict::Late: return "late";
    case Verdict::Damaged: return "damaged";
    case Verdict::NoAnswer: return "no answer";
    case Verdict::PortGone: return "port gone";
    case Verdict::Stray: return "stray";
    }
    return "?";
}

std::string HexBytes(const uint8_t* bytes, int n)
{
    return HexText(bytes, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string DecodePacket(const PacketView& v)
{
    if (v.loader != LoaderStep::None)
        return DecodeLoader(v);
    if (v.direction == PacketDirection::In)
        return DecodeReply(v);
    const Frame f = Parse(v.bytes, v.size);
    if (!f.whole)
        return f.fault;
    return DecodeInstruction(f);
}

bool PacketConcerns(const PacketView& v, int id)
{
    if (v.loader != LoaderStep::None || v.size < 3 || v.bytes[0] != 0xFF || v.bytes[1] != 0xFF)
        return false;
    if (v.bytes[2] == id)
        return true;
    const Frame f = v.direction == PacketDirection::Out ? Parse(v.bytes, v.size) : Frame{};
    if (!f.whole || f.instruction != instr::kSyncWrite || f.paramCount < 2)
        return false;
    const int length = f.params[1];
    for (int g = 2; g + length + 1 <= f.paramCount; g += length + 1)
        if (f.params[g] == id)
            return true;
    return false;
}
