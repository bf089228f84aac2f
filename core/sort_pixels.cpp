#include "sort_pixels.h"

#include <algorithm>
#include <cstddef>

#include "channel_copy.h"
#include "prefetch.h"

namespace {

// How many entries ahead of each value's next slot the scatter asks for memory.
constexpr size_t kScatterLookAhead = 32;

}  // namespace

template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg,
                SampleRange range) {
    ExtractChannel(scratch, seg, range);
    const Sample* const values = scratch.channel;
    uint32_t* const order = scratch.order;
    const size_t count = seg.Pixels();

    // Counting sort. Four tables of counts, taken in turn: neighbouring pixels often share a
    // value, and increments of one counter would wait for each other through memory.
    size_t counts[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        ++counts[0][values[i]];
        ++counts[1][values[i + 1]];
        ++counts[2][values[i + 2]];
        ++counts[3][values[i + 3]];
    }
    for (; i < count; ++i) ++counts[0][values[i]];
    size_t start[256];
    size_t total = 0;
    for (int value = 0; value < 256; ++value) {
        start[value] = total;
        total += counts[0][value] + counts[1][value] + counts[2][value] + counts[3][value];
    }
    // The scatter walks the pixels in position order, so ties keep it. It writes 256 streams
    // at once, too many for the hardware to foresee, so it asks for each stream's memory a
    // few lines ahead of its next slot (clamped to the buffer).
    const size_t last = count - 1;
    for (i = 0; i < count; ++i) {
        const size_t slot = start[values[i]]++;
        PrefetchForWrite(order + std::min(slot + kScatterLookAhead, last));
        order[slot] = static_cast<uint32_t>(i);
    }
}

template void SortPixels(ChannelScratch<uint8_t>, PlaneView<const uint8_t>,
                         SampleRange);
