// The shared bus's frame decoder over any byte stream, fed in pieces: every frame it gives is
// exactly the bytes it consumed, bounded, and the same whatever the pieces; it stops at the
// first bad header and takes nothing after it; every message that decodes encodes back to
// the same frame.
//
// Input: one byte, the piece size (1..256), then the stream.
#include "FuzzCheck.h"

#include "share/ShareFrame.h"

#include <vector>

namespace {

using namespace share;

struct Decoded {
    std::vector<Frame> frames;
    size_t used = 0;
    FrameError error = FrameError::None;
};

Decoded DecodeAll(const uint8_t* data, size_t size, size_t piece)
{
    Decoded d;
    FrameDecoder decoder;
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = std::min(piece, size - at);
        const size_t took = decoder.Feed(data + at, n);
        FUZZ_CHECK(took <= n, "took %zu of %zu", took, n);
        d.used += took;
        while (auto f = decoder.Next())
            d.frames.push_back(*f);
        if (took < n) {
            FUZZ_CHECK(decoder.Error() != FrameError::None, "stopped without an error");
            FUZZ_CHECK(decoder.Feed(data + at, n) == 0, "took bytes after an error");
            break;
        }
    }
    d.error = decoder.Error();
    return d;
}

template <class M>
void RoundTrip(const std::optional<M>& m, std::optional<M> (*decode)(const Frame&))
{
    if (!m)
        return;
    const std::vector<uint8_t> bytes = Encode(*m);
    FrameDecoder again;
    FUZZ_CHECK(again.Feed(bytes.data(), bytes.size()) == bytes.size(), "own frame refused");
    const auto f = again.Next();
    FUZZ_CHECK(f.has_value(), "own frame not whole");
    const auto back = decode(*f);
    FUZZ_CHECK(back.has_value(), "own frame not decoded");
    FUZZ_CHECK(Encode(*back) == bytes, "round trip changed the frame");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = static_cast<size_t>(data[0]) + 1;
    const Decoded d = DecodeAll(data + 1, size - 1, piece);
    const Decoded whole = DecodeAll(data + 1, size - 1, size);
    FUZZ_CHECK(d.frames.size() == whole.frames.size() && d.error == whole.error,
               "pieces of %zu gave %zu frames, whole %zu", piece, d.frames.size(), whole.frames.size());

    size_t at = 1;
    for (const Frame& f : d.frames) {
        FUZZ_CHECK(f.payload.size() <= kMaxPayload, "payload of %zu", f.payload.size());
        const size_t n = kHeaderSize + f.payload.size();
        FUZZ_CHECK(at + n <= size, "frame past the input");
        FUZZ_CHECK(data[at] == kMagic0 && data[at + 1] == kMagic1 && data[at + 2] == kVersion &&
                       data[at + 3] == static_cast<uint8_t>(f.type),
                   "header");
        FUZZ_CHECK(std::equal(f.payload.begin(), f.payload.end(), data + at + kHeaderSize), "payload");
        at += n;
        if (const auto h = DecodeHello(f))
            FUZZ_CHECK(h->program.size() <= kMaxProgramName, "name of %zu", h->program.size());
        if (const auto e = DecodeExchange(f))
            FUZZ_CHECK(IsWholePacket(e->packet.data(), e->packet.size()), "not a packet");
        RoundTrip(DecodeHello(f), DecodeHello);
        RoundTrip(DecodeWelcome(f), DecodeWelcome);
        RoundTrip(DecodeExchange(f), DecodeExchange);
        RoundTrip(DecodeResult(f), DecodeResult);
    }
    // What was consumed and not framed is the start of the next frame (or the bad header).
    FUZZ_CHECK(at - 1 <= d.used, "frames beyond what was taken");
    FUZZ_CHECK(d.used - (at - 1) <= kHeaderSize + kMaxPayload, "a pending frame too long");
    return 0;
}
