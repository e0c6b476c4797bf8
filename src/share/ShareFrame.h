#pragma once
// The frames an owner of a shared bus and its clients exchange: a small header (magic,
// version, type, payload length) and a bounded payload. The decoder takes bytes as they come
// and gives whole frames; anything larger than a frame may be, malformed or of another
// version is an error that ends that connection.

#include "protocol/Reply.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace share {

inline constexpr uint8_t kMagic0 = 'S';
inline constexpr uint8_t kMagic1 = 'B';
inline constexpr uint8_t kVersion = 1;
inline constexpr size_t kHeaderSize = 6;  // magic (2), version, type, payload length (2, LE)
// The longest packet of the bus (FF FF ID LEN and LEN bytes up to its checksum).
inline constexpr size_t kMaxPacket = 4 + 255;
inline constexpr size_t kMaxProgramName = 64;
// Every payload fits: a result carries a packet's worth of reply and eight bytes more.
inline constexpr size_t kMaxPayload = kMaxPacket + 16;

enum class FrameType : uint8_t {
    Hello = 1,     // client: its pid and program name
    Welcome = 2,   // owner: its pid, rate and program name
    Exchange = 3,  // client: a request packet, the reply size it waits for, its time-out
    Result = 4,    // owner: what the exchange came to and the reply's bytes that came
    Hold = 5,      // client: the exchanges up to Release run with nothing between them
    Release = 6,   // client: the end of an uninterrupted sequence
};

struct Hello {
    int pid = 0;
    std::string program;
};
struct Welcome {
    int pid = 0;
    int rate = 0;
    std::string program;
};
struct ExchangeRequest {
    int timeoutMs = 0;   // 0..65535
    int replySize = 0;   // bytes of the reply awaited, 0 for none
    std::vector<uint8_t> packet;
};
struct ExchangeResult {
    Outcome outcome = Outcome::NoAnswer;
    Damage damage = Damage::None;
    int rate = 0;                 // the owner's rate now
    std::vector<uint8_t> reply;   // the bytes that came, as they came
};

struct Frame {
    FrameType type = FrameType::Hello;
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> Encode(const Hello& m);
std::vector<uint8_t> Encode(const Welcome& m);
std::vector<uint8_t> Encode(const ExchangeRequest& m);
std::vector<uint8_t> Encode(const ExchangeResult& m);
std::vector<uint8_t> EncodeEmpty(FrameType type);  // Hold, Release

// Each gives nothing for a payload that does not hold what its type says.
std::optional<Hello> DecodeHello(const Frame& f);
std::optional<Welcome> DecodeWelcome(const Frame& f);
std::optional<ExchangeRequest> DecodeExchange(const Frame& f);
std::optional<ExchangeResult> DecodeResult(const Frame& f);

enum class FrameError : uint8_t { None, Magic, Version, Type, TooLong };
const char* FrameErrorText(FrameError e);

// Whole frames out of a byte stream. After an error it takes nothing more.
class FrameDecoder {
public:
    // Takes `n` bytes; returns how many it consumed (fewer only on an error).
    size_t Feed(const uint8_t* bytes, size_t n);
    // The next whole frame, if one is there.
    std::optional<Frame> Next();
    FrameError Error() const { return error; }
    // The header of the frame that failed, as far as it came (for the owner's traffic record).
    const std::vector<uint8_t>& Pending() const { return buffer; }

private:
    bool CheckHeader();
    std::vector<uint8_t> buffer;
    std::vector<Frame> ready;
    size_t readyNext = 0;
    FrameError error = FrameError::None;
};

// Whether `packet` is one whole instruction packet of the bus: FF FF, its length byte
// covering the rest exactly, its checksum right.
bool IsWholePacket(const uint8_t* packet, size_t n);

}  // namespace share
