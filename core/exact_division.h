// Truncating division of a smoothing sum by its weight, in a form compilers vectorise.
#pragma once

#include <cstdint>

// Centre weights the fast smoothing path takes (EnhanceChannel passes 10 - factor): weights
// then lie in centre + 2 .. centre + 14, and sums never exceed 255 * weight.
constexpr int kMaxCentreWeight = 10;
constexpr int32_t kMinSmoothingWeight = 2;
constexpr int32_t kMaxSmoothingWeight = kMaxCentreWeight + 14;

// sum / weight through one float division, which SSE2 does four at a time, where an integer
// division or a table of reciprocals stops vectorisation. It is exact: sum and weight are exact
// in float, and a quotient that is not an integer lies at least 1 / weight away from the next
// one, far beyond the rounding error of a division (below 2^-16 under 256), so truncating
// gives the integer quotient. This needs IEEE division (no -ffast-math or
// -freciprocal-math); a test checks every sum and weight that can occur.
inline int32_t DivideByWeight(int32_t sum, int32_t weight) {
    return static_cast<int32_t>(static_cast<float>(sum) / static_cast<float>(weight));
}
