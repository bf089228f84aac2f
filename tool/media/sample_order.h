// Byte order of 16-bit samples. Files store them in a fixed order (YUV4MPEG2 little-endian,
// PNG and Netpbm big-endian); callers get them in the machine's own order as uint16_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace media {

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Loads and stores through memcpy: the bytes may sit anywhere, aligned or not.
inline uint16_t LoadSample(const uint8_t* at) {
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline void StoreSample(uint8_t* at, uint16_t value) { std::memcpy(at, &value, sizeof value); }

// Converts count samples in place between a file's byte order (little-endian or not) and
// the machine's: the same swap serves both ways, and nothing happens when they agree.
inline void MatchByteOrder(uint8_t* samples, std::size_t count, bool fileLittleEndian) {
    if (fileLittleEndian == kLittleEndianHost) return;
    for (std::size_t i = 0; i < count; ++i)
        StoreSample(samples + 2 * i, __builtin_bswap16(LoadSample(samples + 2 * i)));
}

// The largest of count samples (0 for none).
inline uint16_t LargestSample(const uint8_t* samples, std::size_t count) {
    uint16_t largest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t value = LoadSample(samples + 2 * i);
        largest = value > largest ? value : largest;
    }
    return largest;
}

}  // namespace media
