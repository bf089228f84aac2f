// PNG's row filters undone.
//
// Up depends on the row above only, and runs as a plain loop the compiler vectorises. Sub,
// Average and Paeth predict each byte from the rebuilt byte one pixel to its left, so the
// pixels of a row are rebuilt one after another, and the time a pixel takes is the latency
// of the arithmetic from one pixel's result to the next. The bytes of one pixel are
// independent and are rebuilt together, in the lanes of one SSE2 register: 8-bit lanes for
// Sub and Average, 16-bit lanes for Paeth, whose predictor needs nine bits and more.
#include "png_unfilter.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace media {

namespace {

void UnfilterUp(const uint8_t* __restrict filtered, const uint8_t* __restrict above, std::size_t n,
                uint8_t* __restrict out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(filtered[i] + above[i]);
}

#if defined(__SSE2__)

inline __m128i Load8(const uint8_t* at) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
}

inline void Store8(uint8_t* at, __m128i value) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), value);
}

// Lanes of x where mask is all ones, of y where it is zero.
inline __m128i Select(__m128i mask, __m128i x, __m128i y) {
    return _mm_or_si128(_mm_and_si128(mask, x), _mm_andnot_si128(mask, y));
}

// Rebuilds a row pixel by pixel: step takes a pixel's filtered bytes and the bytes above it
// in the low 8 bytes of two registers and gives the rebuilt bytes the same way, keeping what
// it needs of the pixel to the left. Wherever 8 bytes from a pixel's start lie within the row
// they are loaded and stored whole: the bytes past the pixel's own belong to the next pixel,
// are computed to no purpose and overwritten by that pixel's store. The last pixels move
// exactly their own bytes, through a copy.
template <class Step>
void UnfilterFromLeft(const uint8_t* filtered, const uint8_t* above, std::size_t n, std::size_t bpp,
                      uint8_t* out, Step step) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += bpp) Store8(out + i, step(Load8(filtered + i), Load8(above + i)));
    for (; i < n; i += bpp) {
        uint8_t x[8] = {};
        uint8_t b[8] = {};
        uint8_t rebuilt[8];
        std::memcpy(x, filtered + i, bpp);
        std::memcpy(b, above + i, bpp);
        Store8(rebuilt, step(Load8(x), Load8(b)));
        std::memcpy(out + i, rebuilt, bpp);
    }
}

// The byte-wise adds wrap modulo 256, as the filters are defined.
struct SubStep {
    __m128i left = _mm_setzero_si128();
    __m128i operator()(__m128i x, __m128i) { return left = _mm_add_epi8(x, left); }
};

struct AverageStep {
    __m128i left = _mm_setzero_si128();
    // floor((a + b) / 2): the rounded-up average less the bit that rounding added.
    __m128i operator()(__m128i x, __m128i b) {
        const __m128i roundedUp = _mm_avg_epu8(left, b);
        const __m128i oddSum = _mm_and_si128(_mm_xor_si128(left, b), _mm_set1_epi8(1));
        return left = _mm_add_epi8(x, _mm_sub_epi8(roundedUp, oddSum));
    }
};

// Paeth's choice, as the distances from a + b - c are compared, takes a dozen dependent
// operations after a is known. But b and c alone split the values of a into four ranges:
// with b >= c (d = b - c),
//   a <= c - 2d: a;   c - 2d < a <= c - floor(d/2) - 1: c;   then up to b - 1: b;   a >= b: a;
// with b < c (d = c - b),
//   a <= b: a;   b < a <= c + floor(d/2): b;   then up to c + 2d - 1: c;   a >= c + 2d: a.
// (The tests check this for every triple.) In either case the lower middle
// range gives min(b, c) and the upper one max(b, c). The bounds are worked out from b and c
// alone, off the path from one pixel to the next, which is left with three comparisons and
// two selections.
struct PaethStep {
    __m128i left = _mm_setzero_si128();       // a, in 16-bit lanes
    __m128i aboveLeft = _mm_setzero_si128();  // c
    __m128i operator()(__m128i xBytes, __m128i bBytes) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i x = _mm_unpacklo_epi8(xBytes, zero);
        const __m128i b = _mm_unpacklo_epi8(bBytes, zero);
        const __m128i c = aboveLeft;
        aboveLeft = b;
        const __m128i smaller = _mm_min_epi16(b, c);
        const __m128i larger = _mm_max_epi16(b, c);
        const __m128i d = _mm_sub_epi16(larger, smaller);
        const __m128i twice = _mm_add_epi16(d, d);
        const __m128i bBelowC = _mm_cmpgt_epi16(c, b);
        // a <= low: a;  a <= split: smaller;  a < high: larger;  else a. The split is
        // c + floor(d/2) or c - floor(d/2) - 1, that is, c plus floor(d/2) or its complement.
        const __m128i low = _mm_sub_epi16(smaller, _mm_andnot_si128(bBelowC, twice));
        const __m128i high = _mm_add_epi16(larger, _mm_and_si128(bBelowC, twice));
        const __m128i split = _mm_add_epi16(
            c, _mm_xor_si128(_mm_srai_epi16(d, 1), _mm_xor_si128(bBelowC, _mm_set1_epi16(-1))));
        // Filtered byte plus prediction, modulo 256 (_epi8 on lanes whose upper bytes are
        // zero); the larger prediction is the smaller plus d.
        const __m128i fromSmaller = _mm_add_epi8(x, smaller);
        const __m128i a = left;
        const __m128i middle = _mm_and_si128(_mm_cmpgt_epi16(a, low), _mm_cmpgt_epi16(high, a));
        const __m128i fromMiddle =
            _mm_add_epi8(fromSmaller, _mm_and_si128(_mm_cmpgt_epi16(a, split), d));
        left = Select(middle, fromMiddle, _mm_add_epi8(x, a));
        return _mm_packus_epi16(left, left);
    }
};

#endif

}  // namespace

void UnfilterRowPlain(uint8_t filterType, const uint8_t* filtered, const uint8_t* above,
                      std::size_t n, std::size_t bpp, uint8_t* out) {
    for (std::size_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? out[i - bpp] : 0;
        const int b = above[i];
        const int c = i >= bpp ? above[i - bpp] : 0;
        int prediction = 0;
        switch (filterType) {
            case kPngFilterSub:
                prediction = a;
                break;
            case kPngFilterUp:
                prediction = b;
                break;
            case kPngFilterAverage:
                prediction = (a + b) / 2;
                break;
            case kPngFilterPaeth:
                prediction = PaethPredictor(static_cast<int16_t>(a), static_cast<int16_t>(b),
                                            static_cast<int16_t>(c));
                break;
            default:
                break;
        }
        out[i] = static_cast<uint8_t>(filtered[i] + prediction);
    }
}

void UnfilterRow(uint8_t filterType, const uint8_t* filtered, const uint8_t* above, std::size_t n,
                 std::size_t bpp, uint8_t* out) {
    if (filterType == kPngFilterNone) {
        std::memcpy(out, filtered, n);
    } else if (filterType == kPngFilterUp) {
        UnfilterUp(filtered, above, n, out);
    } else {
#if defined(__SSE2__)
        if (filterType == kPngFilterSub) {
            UnfilterFromLeft(filtered, above, n, bpp, out, SubStep());
        } else if (filterType == kPngFilterAverage) {
            UnfilterFromLeft(filtered, above, n, bpp, out, AverageStep());
        } else {
            UnfilterFromLeft(filtered, above, n, bpp, out, PaethStep());
        }
#else
        UnfilterRowPlain(filterType, filtered, above, n, bpp, out);
#endif
    }
}

}  // namespace media
