#include "sort_pixels.h"

#include <algorithm>
#include <cstddef>

#include "channel_copy.h"
#include "prefetch.h"

namespace {

// How many entries ahead of each value's next slot the scatter asks for memory.
constexpr size_t kScatterLookAhead = 32;

}  // namespace

void SortPixels(uint8_t* channelBuf, int rowLength, const uint8_t* src, int srcPitch, int step,
                int width, int height, PixelRef* orderBuf) {
    ExtractChannel(channelBuf, rowLength, src, srcPitch, step, width, height);

    // Counting sort. Four tables of counts, taken in turn: neighbouring pixels often share a
    // value, and increments of one counter would wait for each other through memory.
    size_t counts[4][256] = {};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = channelBuf + static_cast<ptrdiff_t>(y) * rowLength;
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            ++counts[0][row[x]];
            ++counts[1][row[x + 1]];
            ++counts[2][row[x + 2]];
            ++counts[3][row[x + 3]];
        }
        for (; x < width; ++x) ++counts[0][row[x]];
    }
    size_t start[256];
    size_t total = 0;
    for (int value = 0; value < 256; ++value) {
        start[value] = total;
        total += counts[0][value] + counts[1][value] + counts[2][value] + counts[3][value];
    }
    // The scatter walks the pixels in position order, so ties keep it. It writes 256 streams
    // at once, too many for the hardware to foresee, so it asks for each stream's memory a
    // few lines ahead of its next slot (clamped to the buffer).
    const size_t last = total - 1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = channelBuf + static_cast<ptrdiff_t>(y) * rowLength;
        for (int x = 0; x < width; ++x) {
            const size_t slot = start[row[x]]++;
            PrefetchForWrite(orderBuf + std::min(slot + kScatterLookAhead, last));
            orderBuf[slot] = row + x;
        }
    }
}
