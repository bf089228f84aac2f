#include "sort_pixels.h"

#include <cstddef>

#include "channel_copy.h"

void SortPixels(uint8_t* channelBuf, int rowLength, const uint8_t* src, int srcPitch, int step,
                int width, int height, PixelRef* orderBuf) {
    ExtractChannel(channelBuf, rowLength, src, srcPitch, step, width, height);

    // Counting sort: the scatter walks the pixels in position order, so ties keep it.
    size_t start[256] = {};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = channelBuf + static_cast<ptrdiff_t>(y) * rowLength;
        for (int x = 0; x < width; ++x) ++start[row[x]];
    }
    size_t total = 0;
    for (size_t& slot : start) {
        const size_t count = slot;
        slot = total;
        total += count;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = channelBuf + static_cast<ptrdiff_t>(y) * rowLength;
        for (int x = 0; x < width; ++x) orderBuf[start[row[x]]++] = row + x;
    }
}
