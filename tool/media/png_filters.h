// PNG's row filters as both the writer and the reader's own decoding need them: the filter
// types and Paeth's predictor.
#pragma once

#include <cstdint>

namespace media {

// The filter types, as the byte before each row says; any other value is not a PNG filter.
constexpr uint8_t kPngFilterNone = 0;
constexpr uint8_t kPngFilterSub = 1;
constexpr uint8_t kPngFilterUp = 2;
constexpr uint8_t kPngFilterAverage = 3;
constexpr uint8_t kPngFilterPaeth = 4;

inline int16_t Magnitude(int16_t value) { return value < 0 ? static_cast<int16_t>(-value) : value; }

// Paeth's predictor: whichever of left (a), up (b) and upper left (c) is closest to
// p = a + b - c, ties going to a, then b. In 16-bit arithmetic, which the writer's loops
// turn into vector code with 8 or 16 lanes.
inline int16_t PaethPredictor(int16_t a, int16_t b, int16_t c) {
    const auto pMinusA = static_cast<int16_t>(b - c);
    const auto pMinusB = static_cast<int16_t>(a - c);
    const int16_t pa = Magnitude(pMinusA);
    const int16_t pb = Magnitude(pMinusB);
    const int16_t pc = Magnitude(static_cast<int16_t>(pMinusA + pMinusB));
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace media
