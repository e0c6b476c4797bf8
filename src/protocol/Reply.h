#pragma once
// What one exchange on the bus came to, and the settings of the servo it went to.

#include <cstdint>
#include <string>

// How a servo codes its words and answers its writes, and where its position block lies.
// Read from the servo's identification bytes (and the catalogue's debug row); every
// operation that depends on it takes it as an argument.
struct ServoProfile {
    uint8_t byteOrder = 0;         // 0 low byte first, 1 high byte first
    uint8_t statusLevel = 1;       // 0: the servo sends no status packet for a write
    uint8_t positionAddress = 41;  // first address of the position block

    bool operator==(const ServoProfile&) const = default;
};

enum class Outcome : uint8_t {
    Answered,     // a well-formed reply (or, where none is expected, the packet went out)
    NoAnswer,     // nothing, or only part of a reply, within the time-out
    Damaged,      // a reply that fails a check: nothing of it is taken
    PortClosed,   // the port is not open
    PortGone,     // the device went away under the open port (adapter pulled, bus gone)
    WriteFailed,  // the packet did not go out whole, or could not be framed
};

// Which check a damaged reply failed.
enum class Damage : uint8_t { None, Header, Id, Length, Checksum };

struct Reply {
    Outcome outcome = Outcome::NoAnswer;
    Damage damage = Damage::None;
    uint8_t error = 0;  // the servo's error byte of a well-formed reply
    int count = 0;      // data bytes delivered into the caller's buffer (reads only)
    uint8_t from = 0;   // the ID a reply of another ID came from (Damage::Id)
    bool partial = false;  // no answer, but part of one came within the time-out

    bool ok() const { return outcome == Outcome::Answered; }
    explicit operator bool() const { return ok(); }

    static Reply Answered(int count = 0, uint8_t error = 0)
    {
        return {Outcome::Answered, Damage::None, error, count, 0, false};
    }
    static Reply Failed(Outcome outcome, Damage damage = Damage::None)
    {
        return {outcome, damage, 0, 0, 0, false};
    }
};

// "no answer within 100 ms", "damaged answer (checksum)", "port closed", ...
std::string ReplyText(const Reply& reply, int timeoutMs);
const char* DamageName(Damage damage);
