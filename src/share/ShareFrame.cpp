#include "share/ShareFrame.h"

#include <algorithm>

namespace share {

namespace {

void Put16(std::vector<uint8_t>& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

unsigned Get16(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (static_cast<unsigned>(b[at + 1]) << 8);
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

// The header, then the payload; a payload too long for a frame is cut to nothing of it.
std::vector<uint8_t> Framed(FrameType type, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> f{kMagic0, kMagic1, kVersion, static_cast<uint8_t>(type)};
    const size_t n = payload.size() <= kMaxPayload ? payload.size() : 0;
    Put16(f, static_cast<unsigned>(n));
    f.insert(f.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
    return f;
}

std::string Printable(const uint8_t* bytes, size_t n)
{
    std::string s;
    for (size_t i = 0; i < n && s.size() < kMaxProgramName; ++i)
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F)
            s += static_cast<char>(bytes[i]);
    return s;
}

std::vector<uint8_t> Named(int pid, const std::string& program)
{
    std::vector<uint8_t> p;
    Put32(p, static_cast<uint32_t>(pid));
    p.insert(p.end(), program.begin(), program.begin() + static_cast<std::ptrdiff_t>(
                                                            std::min(program.size(), kMaxProgramName)));
    return p;
}

bool KnownType(uint8_t t)
{
    return t >= static_cast<uint8_t>(FrameType::Hello) && t <= static_cast<uint8_t>(FrameType::Release);
}

}  // namespace

std::vector<uint8_t> Encode(const Hello& m)
{
    return Framed(FrameType::Hello, Named(m.pid, m.program));
}

std::vector<uint8_t> Encode(const Welcome& m)
{
    std::vector<uint8_t> p;
    Put32(p, static_cast<uint32_t>(m.rate));
    const auto named = Named(m.pid, m.program);
    p.insert(p.end(), named.begin(), named.end());
    return Framed(FrameType::Welcome, p);
}

std::vector<uint8_t> Encode(const ExchangeRequest& m)
{
    std::vector<uint8_t> p;
    Put16(p, static_cast<unsigned>(std::clamp(m.timeoutMs, 0, 0xFFFF)));
    Put16(p, static_cast<unsigned>(std::clamp(m.replySize, 0, static_cast<int>(kMaxPacket))));
    p.insert(p.end(), m.packet.begin(), m.packet.end());
    return Framed(FrameType::Exchange, p);
}

std::vector<uint8_t> Encode(const ExchangeResult& m)
{
    std::vector<uint8_t> p{static_cast<uint8_t>(m.outcome), static_cast<uint8_t>(m.damage)};
    Put32(p, static_cast<uint32_t>(m.rate));
    p.insert(p.end(), m.reply.begin(),
             m.reply.begin() + static_cast<std::ptrdiff_t>(std::min(m.reply.size(), kMaxPacket)));
    return Framed(FrameType::Result, p);
}

std::vector<uint8_t> EncodeEmpty(FrameType type)
{
    return Framed(type, {});
}

std::optional<Hello> DecodeHello(const Frame& f)
{
    if (f.type != FrameType::Hello || f.payload.size() < 4 ||
        f.payload.size() > 4 + kMaxProgramName)
        return std::nullopt;
    return Hello{static_cast<int>(Get32(f.payload, 0)),
                 Printable(f.payload.data() + 4, f.payload.size() - 4)};
}

std::optional<Welcome> DecodeWelcome(const Frame& f)
{
    if (f.type != FrameType::Welcome || f.payload.size() < 8 ||
        f.payload.size() > 8 + kMaxProgramName)
        return std::nullopt;
    return Welcome{static_cast<int>(Get32(f.payload, 4)), static_cast<int>(Get32(f.payload, 0)),
                   Printable(f.payload.data() + 8, f.payload.size() - 8)};
}

std::optional<ExchangeRequest> DecodeExchange(const Frame& f)
{
    if (f.type != FrameType::Exchange || f.payload.size() < 4)
        return std::nullopt;
    ExchangeRequest m;
    m.timeoutMs = static_cast<int>(Get16(f.payload, 0));
    m.replySize = static_cast<int>(Get16(f.payload, 2));
    m.packet.assign(f.payload.begin() + 4, f.payload.end());
    if (m.replySize > static_cast<int>(kMaxPacket) || !IsWholePacket(m.packet.data(), m.packet.size()))
        return std::nullopt;
    return m;
}

std::optional<ExchangeResult> DecodeResult(const Frame& f)
{
    if (f.type != FrameType::Result || f.payload.size() < 6 ||
        f.payload.size() > 6 + kMaxPacket || f.payload[0] > static_cast<uint8_t>(Outcome::WriteFailed) ||
        f.payload[1] > static_cast<uint8_t>(Damage::Checksum))
        return std::nullopt;
    ExchangeResult m;
    m.outcome = static_cast<Outcome>(f.payload[0]);
    m.damage = static_cast<Damage>(f.payload[1]);
    m.rate = static_cast<int>(Get32(f.payload, 2));
    m.reply.assign(f.payload.begin() + 6, f.payload.end());
    return m;
}

bool IsWholePacket(const uint8_t* p, size_t n)
{
    if (p == nullptr || n < 6 || n > kMaxPacket || p[0] != 0xFF || p[1] != 0xFF ||
        static_cast<size_t>(p[3]) + 4 != n)
        return false;
    unsigned sum = 0;
    for (size_t i = 2; i + 1 < n; ++i)
        sum += p[i];
    return static_cast<uint8_t>(~sum) == p[n - 1];
}

const char* FrameErrorText(FrameError e)
{
    switch (e) {
    case FrameError::None: return "no error";
    case FrameError::Magic: return "not a frame of this bus";
    case FrameError::Version: return "a frame of another version";
    case FrameError::Type: return "a frame of unknown type";
    case FrameError::TooLong: return "a frame too long";
    }
    return "?";
}

bool FrameDecoder::CheckHeader()
{
    if (buffer.size() >= 1 && buffer[0] != kMagic0)
        error = FrameError::Magic;
    else if (buffer.size() >= 2 && buffer[1] != kMagic1)
        error = FrameError::Magic;
    else if (buffer.size() >= 3 && buffer[2] != kVersion)
        error = FrameError::Version;
    else if (buffer.size() >= 4 && !KnownType(buffer[3]))
        error = FrameError::Type;
    else if (buffer.size() >= kHeaderSize && Get16(buffer, 4) > kMaxPayload)
        error = FrameError::TooLong;
    return error == FrameError::None;
}

size_t FrameDecoder::Feed(const uint8_t* bytes, size_t n)
{
    size_t used = 0;
    while (used < n && error == FrameError::None) {
        // A header is judged byte by byte, a payload taken as far as it goes.
        if (buffer.size() < kHeaderSize) {
            buffer.push_back(bytes[used++]);
            if (!CheckHeader())
                break;
        } else {
            const size_t want = kHeaderSize + Get16(buffer, 4) - buffer.size();
            const size_t take = std::min(want, n - used);
            buffer.insert(buffer.end(), bytes + used, bytes + used + take);
            used += take;
        }
        if (buffer.size() >= kHeaderSize && buffer.size() == kHeaderSize + Get16(buffer, 4)) {
            ready.push_back(Frame{static_cast<FrameType>(buffer[3]),
                                  std::vector<uint8_t>(buffer.begin() + kHeaderSize, buffer.end())});
            buffer.clear();
        }
    }
    return used;
}

std::optional<Frame> FrameDecoder::Next()
{
    if (readyNext >= ready.size()) {
        ready.clear();
        readyNext = 0;
        return std::nullopt;
    }
    return std::move(ready[readyNext++]);
}

}  // namespace share
