#pragma once
// Whole frames over a stream: what both ends of a shared bus read and write with.

#include "share/ShareEndpoint.h"
#include "share/ShareFrame.h"

#include <chrono>
#include <optional>

namespace share {

class FrameLink {
public:
    explicit FrameLink(Stream& stream) : stream(stream) {}

    enum class Got { Frame, Silent, Ended, Bad };
    // The next whole frame within `timeoutMs` (Frame); else nothing came in time (Silent),
    // the connection ended (Ended) or a bad frame came (Bad: decoder().Error() says which).
    Got Read(Frame& frame, int timeoutMs);
    bool Send(const std::vector<uint8_t>& bytes) { return stream.Send(bytes.data(), bytes.size()); }
    const FrameDecoder& Decoder() const { return decoder; }

private:
    Stream& stream;
    FrameDecoder decoder;
};

}  // namespace share
