#include "plot/AverageScale.h"

#include <algorithm>

namespace {

// At most this many source pixels a direction go into one target pixel, so the lane sums
// (16 bits each) never spill into each other; a still smaller target samples its areas.
constexpr int kMaxSpan = 16;

// The source span [first, end) of target index i, never empty.
struct Span {
    int first, end;
};

std::vector<Span> Spans(int source, int target)
{
    std::vector<Span> spans(static_cast<size_t>(target));
    for (int i = 0; i < target; ++i) {
        int first = static_cast<int>(static_cast<long long>(i) * source / target);
        int end = static_cast<int>(static_cast<long long>(i + 1) * source / target);
        first = std::min(first, source - 1);
        end = std::clamp(end, first + 1, std::min(source, first + kMaxSpan));
        spans[static_cast<size_t>(i)] = {first, end};
    }
    return spans;
}

// Sums of two byte lanes each (bits 0-7 and 16-23 of a pixel, then 8-15 and 24-31) stay
// apart up to 255 pixels; the mean divides by multiplying with a 16-bit reciprocal.
inline uint32_t Mean(uint32_t lowLanes, uint32_t highLanes, uint32_t reciprocal)
{
    const uint32_t c0 = ((lowLanes & 0xFFFF) * reciprocal) >> 16;
    const uint32_t c2 = ((lowLanes >> 16) * reciprocal) >> 16;
    const uint32_t c1 = ((highLanes & 0xFFFF) * reciprocal) >> 16;
    const uint32_t c3 = ((highLanes >> 16) * reciprocal) >> 16;
    return c0 | c1 << 8 | c2 << 16 | c3 << 24;
}

inline uint32_t Reciprocal(int n)
{
    return static_cast<uint32_t>((65536 + n - 1) / n);
}

}  // namespace

void AverageScale(const PixelView& source, const PixelView& target, std::vector<uint32_t>& work)
{
    if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0)
        return;
    const auto columns = Spans(source.width, target.width);
    const auto rows = Spans(source.height, target.height);
    const auto width = static_cast<size_t>(source.width);
    // Lane sums of one target row, as wide as the source: row after row, so the compiler
    // can add many pixels at once.
    work.resize(2 * width);
    uint32_t* low = work.data();
    uint32_t* high = low + width;
    for (int y = 0; y < target.height; ++y) {
        const Span r = rows[static_cast<size_t>(y)];
        std::fill(work.begin(), work.end(), 0u);
        for (int row = r.first; row < r.end; ++row) {
            const uint32_t* in = source.pixels + static_cast<long long>(row) * source.stride;
            for (size_t x = 0; x < width; ++x) {
                low[x] += in[x] & 0x00FF00FF;
                high[x] += in[x] >> 8 & 0x00FF00FF;
            }
        }
        // Across: each target pixel the mean of its columns and rows.
        uint32_t* out = target.pixels + static_cast<long long>(y) * target.stride;
        const int rowCount = r.end - r.first;
        for (int x = 0; x < target.width; ++x) {
            const Span s = columns[static_cast<size_t>(x)];
            uint32_t l = 0, h = 0;
            for (int i = s.first; i < s.end; ++i) {
                l += low[i];
                h += high[i];
            }
            out[x] = Mean(l, h, Reciprocal(rowCount * (s.end - s.first)));
        }
    }
}
