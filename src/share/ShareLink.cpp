#include "share/ShareLink.h"

namespace share {

FrameLink::Got FrameLink::Read(Frame& frame, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (auto f = decoder.Next()) {
            frame = std::move(*f);
            return Got::Frame;
        }
        if (decoder.Error() != FrameError::None)
            return Got::Bad;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() < 0)
            return Got::Silent;
        uint8_t bytes[512];
        const int got = stream.Receive(bytes, sizeof bytes, static_cast<int>(left.count()));
        if (got < 0)
            return Got::Ended;
        if (got == 0)
            return Got::Silent;
        decoder.Feed(bytes, static_cast<size_t>(got));
    }
}

}  // namespace share
