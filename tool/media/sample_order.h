// Byte order of 16-bit samples. Files store them in a fixed order (YUV4MPEG2 little-endian,
// PNG and Netpbm big-endian); callers get them in the machine's own order as uint16_t. Also
// PNG's 32-bit big-endian numbers (chunk lengths, sizes, CRCs).
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

inline uint32_t BigEndian32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | static_cast<uint32_t>(at[3]);
}

inline void PutBigEndian32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
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
