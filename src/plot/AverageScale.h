#pragma once
// Shrinks a 32-bit pixel image by averaging: every target pixel is the mean of the source
// pixels its area covers (each channel of the four bytes on its own). Used for the plot's
// copy of its 0.1 mm canvas to the window, in one thread and one pass per direction.

#include <cstdint>
#include <vector>

struct PixelView {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // pixels from one row to the next
};

// `work` is scratch space kept by the caller between calls. A target larger than the
// source in a direction repeats source pixels there.
void AverageScale(const PixelView& source, const PixelView& target, std::vector<uint32_t>& work);
