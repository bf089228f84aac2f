#include "sort_pixels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "channel_copy.h"
#include "prefetch.h"

namespace {

// How many entries ahead of each value's next slot the scatter asks for memory.
constexpr size_t kScatterLookAhead = 32;

// Counting sort of byte values. Four tables of counts, taken in turn: neighbouring pixels
// often share a value, and increments of one counter would wait for each other through
// memory. Flat content has long runs of one value: a chunk of kChunk pixels that all have
// the value of its first is counted and placed at once.
constexpr size_t kChunk = 16;

// Whether the kChunk values from `values` on are all equal.
bool Uniform(const uint8_t* values) {
    uint64_t words[kChunk / 8];
    std::memcpy(words, values, kChunk);
    const uint64_t first = values[0] * 0x0101010101010101u;
    bool same = true;
    for (uint64_t w : words) same &= w == first;
    return same;
}

void SortBytes(const uint8_t* values, size_t count, uint32_t* order) {
    size_t counts[4][256] = {};
    size_t i = 0;
    for (; i + kChunk <= count; i += kChunk) {
        if (Uniform(values + i)) {
            counts[0][values[i]] += kChunk;
            continue;
        }
        for (size_t k = 0; k < kChunk; k += 4) {
            ++counts[0][values[i + k]];
            ++counts[1][values[i + k + 1]];
            ++counts[2][values[i + k + 2]];
            ++counts[3][values[i + k + 3]];
        }
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
    const auto place = [&](size_t at) {
        const size_t slot = start[values[at]]++;
        PrefetchForWrite(order + std::min(slot + kScatterLookAhead, last));
        order[slot] = static_cast<uint32_t>(at);
    };
    for (i = 0; i + kChunk <= count; i += kChunk) {
        if (!Uniform(values + i)) {
            for (size_t k = 0; k < kChunk; ++k) place(i + k);
            continue;
        }
        const size_t slot = start[values[i]];
        start[values[i]] += kChunk;
        PrefetchForWrite(order + std::min(slot + kChunk + kScatterLookAhead, last));
        for (size_t k = 0; k < kChunk; ++k) order[slot + k] = static_cast<uint32_t>(i + k);
    }
    for (; i < count; ++i) place(i);
}

// An unsigned key per value that orders as the values do: the word itself, or a float's bits
// with the sign turned into order (the channel holds no NaN and no -0, so equal keys are equal
// values).
uint32_t KeyOf(uint16_t value) { return value; }
uint32_t KeyOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
}

// Least-significant-digit radix sort of the keys, a byte at a time, each pass a stable
// counting sort; so ties stay in position order, as with bytes. Keys and pixel indices move
// together between two pairs of buffers, so that no pass reads the channel out of order.
// A byte in which every key agrees sorts nothing, and its pass is skipped (a flat picture or
// a narrow range has such bytes). The indices end in `order`.
template <int Bytes>
void RadixSort(uint32_t* keys, uint32_t* order, uint32_t* spareKeys, uint32_t* spareOrder,
               size_t count) {
    uint32_t* const result = order;
    size_t counts[Bytes][256] = {};
    for (size_t i = 0; i < count; ++i)
        for (int b = 0; b < Bytes; ++b) ++counts[b][keys[i] >> (8 * b) & 0xFF];
    const size_t last = count - 1;
    for (int b = 0; b < Bytes; ++b) {
        const int shift = 8 * b;
        if (counts[b][keys[0] >> shift & 0xFF] == count) continue;
        size_t start[256];
        size_t total = 0;
        for (int digit = 0; digit < 256; ++digit) {
            start[digit] = total;
            total += counts[b][digit];
        }
        for (size_t i = 0; i < count; ++i) {
            const uint32_t key = keys[i];
            const size_t slot = start[key >> shift & 0xFF]++;
            PrefetchForWrite(spareKeys + std::min(slot + kScatterLookAhead, last));
            PrefetchForWrite(spareOrder + std::min(slot + kScatterLookAhead, last));
            spareKeys[slot] = key;
            spareOrder[slot] = order[i];
        }
        std::swap(keys, spareKeys);
        std::swap(order, spareOrder);
    }
    // An odd number of passes left the result in the spare pair.
    if (order != result) std::memcpy(result, order, count * sizeof(uint32_t));
}

}  // namespace

template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg, SampleRange range) {
    ExtractChannel(scratch, seg, range);
    const size_t count = seg.Pixels();
    if constexpr (sizeof(Sample) == 1) {
        SortBytes(scratch.channel, count, scratch.order);
    } else {
        // The label buffer and the queue are free until the watershed: they hold the keys.
        uint32_t* keys = reinterpret_cast<uint32_t*>(scratch.label);
        for (size_t i = 0; i < count; ++i) {
            keys[i] = KeyOf(scratch.channel[i]);
            scratch.order[i] = static_cast<uint32_t>(i);
        }
        RadixSort<sizeof(Sample)>(keys, scratch.order, scratch.queue, scratch.pixelList, count);
    }
}

template void SortPixels(ChannelScratch<uint8_t>, SourcePlane<uint8_t>, SampleRange);
template void SortPixels(ChannelScratch<uint16_t>, SourcePlane<uint16_t>, SampleRange);
template void SortPixels(ChannelScratch<float>, SourcePlane<float>, SampleRange);
