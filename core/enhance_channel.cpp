#include "enhance_channel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "channel_copy.h"
#include "exact_division.h"

namespace {

template <typename Sample>
constexpr bool kFloat = std::is_floating_point_v<Sample>;

// What a weighted sum adds up in: exact integers (the largest, 65535 x 24, needs 21 bits), or
// floats for float samples, which divide exactly rather than truncate.
template <typename Sample>
using Sum = std::conditional_t<kFloat<Sample>, float, uint32_t>;

// A smoothed value as the destination takes it. Integer means of in-range samples stay in
// range; the clamp keeps words whose upper bits carry junk from writing junk. Float means
// are of offset values: the offset comes off again.
template <typename Sample>
Sample Finish(Sum<Sample> mean, SampleRange range) {
    if constexpr (kFloat<Sample>)
        return std::clamp(mean, 0.0f, 1.0f) - range.offset;
    else
        return static_cast<Sample>(std::min<Sum<Sample>>(mean, static_cast<uint32_t>(range.maxValue)));
}

// The weighted mean at one pixel with every position bounds-tested and a real division:
// used along the plane's edges, and everywhere for centre weights beyond kMaxCentreWeight.
template <typename Sample>
Sample SmoothPixelTested(const Sample* values, const int32_t* labels, int width, int height,
                         int x, int y, uint32_t centreWeight, SampleRange range) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(y) * width + x;
    const int32_t own = labels[at];
    Sum<Sample> sum = static_cast<Sum<Sample>>(centreWeight) * values[at];
    Sum<Sample> weight = static_cast<Sum<Sample>>(centreWeight);
    for (int dy = -1; dy <= 1; ++dy) {
        if (y + dy < 0 || y + dy >= height) continue;
        for (int dx = -1; dx <= 1; ++dx) {
            if (x + dx < 0 || x + dx >= width) continue;
            const ptrdiff_t there = at + static_cast<ptrdiff_t>(dy) * width + dx;
            if (labels[there] != own) continue;
            const Sum<Sample> w = (dy == 0 || dx == 0) ? 2 : 1;
            sum += w * values[there];
            weight += w;
        }
    }
    return Finish<Sample>(sum / weight, range);
}

// Pixels x0 .. x1-1 (all with both horizontal neighbours) of an interior row into
// out[0 ..]: all nine positions exist, so each neighbour's weight is a mask of its label
// match, with no branch and no bounds test; compilers vectorise the loop.
template <typename Sample>
void SmoothPixels(Sample* out, const Sample* valueRow, const int32_t* labelRow, int width,
                  int x0, int x1, int32_t centreWeight, SampleRange range) {
    const Sample* above = valueRow - width;
    const Sample* below = valueRow + width;
    const int32_t* labelAbove = labelRow - width;
    const int32_t* labelBelow = labelRow + width;
    const int32_t centre = centreWeight + 2;
    for (int x = x0; x < x1; ++x) {
        const int32_t own = labelRow[x];
        if constexpr (kFloat<Sample>) {
            // 1 where the neighbour shares the label, else 0.
            const float n = labelAbove[x] == own, s = labelBelow[x] == own;
            const float w = labelRow[x - 1] == own, e = labelRow[x + 1] == own;
            const float nw = labelAbove[x - 1] == own, ne = labelAbove[x + 1] == own;
            const float sw = labelBelow[x - 1] == own, se = labelBelow[x + 1] == own;
            const float weight = static_cast<float>(centre) + 2 * (n + s + w + e) + (nw + ne + sw + se);
            const float sum = static_cast<float>(centre) * valueRow[x] +
                              2 * (n * above[x] + s * below[x] + w * valueRow[x - 1] +
                                   e * valueRow[x + 1]) +
                              nw * above[x - 1] + ne * above[x + 1] + sw * below[x - 1] +
                              se * below[x + 1];
            out[x - x0] = Finish<Sample>(sum / weight, range);
        } else {
            // -1 (all bits) where the neighbour shares the label, else 0.
            const int32_t n = -(labelAbove[x] == own), s = -(labelBelow[x] == own);
            const int32_t w = -(labelRow[x - 1] == own), e = -(labelRow[x + 1] == own);
            const int32_t nw = -(labelAbove[x - 1] == own), ne = -(labelAbove[x + 1] == own);
            const int32_t sw = -(labelBelow[x - 1] == own), se = -(labelBelow[x + 1] == own);
            const int32_t weight = centre - 2 * (n + s + w + e) - (nw + ne + sw + se);
            const int32_t sum = centre * valueRow[x] +
                                2 * ((n & above[x]) + (s & below[x]) + (w & valueRow[x - 1]) +
                                     (e & valueRow[x + 1])) +
                                (nw & above[x - 1]) + (ne & above[x + 1]) + (sw & below[x - 1]) +
                                (se & below[x + 1]);
            const int32_t mean = DivideByWeight(sum, weight);
            // Bytes are means of bytes; wider words are clamped (see Finish).
            out[x - x0] = sizeof(Sample) == 1 ? static_cast<Sample>(mean)
                                              : static_cast<Sample>(std::min(mean, range.maxValue));
        }
    }
}

// Flat content is mostly blocks whose three rows, and the pixels either side, hold one value:
// whatever the labels, a weighted mean of equal integers is that integer, so such a block
// smooths to its value without a label being read. (A float mean of equal values may round
// off, so float samples always take the sums.)
constexpr int kFlatBlock = 16;

// Whether the kFlatBlock pixels from x on, with those either side, are flat: their row holds
// one value (each sample equals the next) and the rows above and below are the same. Fixed
// sizes of memory compared for equality, which compilers turn into a few wide loads.
template <typename Sample>
bool Flat(const Sample* above, const Sample* row, const Sample* below, int x) {
    constexpr size_t kBytes = (kFlatBlock + 1) * sizeof(Sample);
    const Sample* const left = row + x - 1;
    return std::memcmp(left, left + 1, kBytes) == 0 &&
           std::memcmp(above + x - 1, left, kBytes + sizeof(Sample)) == 0 &&
           std::memcmp(below + x - 1, left, kBytes + sizeof(Sample)) == 0;
}

// SmoothPixels, with flat blocks of integer samples taken at once.
template <typename Sample>
void SmoothInterior(Sample* out, const Sample* valueRow, const int32_t* labelRow, int width,
                    int x0, int x1, int32_t centreWeight, SampleRange range) {
    if constexpr (kFloat<Sample>) {
        SmoothPixels(out, valueRow, labelRow, width, x0, x1, centreWeight, range);
    } else {
        // Blocks that are not flat are smoothed together, in one vectorised loop.
        int rough = x0;  // the first pixel not smoothed yet
        for (int x = x0; x + kFlatBlock <= x1; x += kFlatBlock) {
            if (!Flat(valueRow - width, valueRow, valueRow + width, x)) continue;
            if (rough < x)
                SmoothPixels(out + (rough - x0), valueRow, labelRow, width, rough, x,
                             centreWeight, range);
            const int32_t value = valueRow[x];
            std::fill_n(out + (x - x0), kFlatBlock,
                        static_cast<Sample>(std::min(value, range.maxValue)));
            rough = x + kFlatBlock;
        }
        if (rough < x1)
            SmoothPixels(out + (rough - x0), valueRow, labelRow, width, rough, x1, centreWeight,
                         range);
    }
}

// Rows are smoothed in spans of this many pixels into a buffer on the stack.
constexpr int kSpan = 2048;

// The smoothed values of pixels x0 .. x1-1 of row y, into out[0 .. x1-x0-1].
template <typename Sample>
void SmoothSpan(Sample* out, ChannelScratch<Sample> scratch, int width, int height, int y,
                int x0, int x1, int centreWeight, SampleRange range) {
    const Sample* values = scratch.channel;
    const int32_t* labels = scratch.label;
    const auto tested = [&](int x) {
        out[x - x0] = SmoothPixelTested(values, labels, width, height, x, y,
                                        static_cast<uint32_t>(centreWeight), range);
    };
    const bool checkedWeights = centreWeight >= 0 && centreWeight <= kMaxCentreWeight;
    if (!checkedWeights || y == 0 || y + 1 == height) {
        for (int x = x0; x < x1; ++x) tested(x);
        return;
    }
    const int begin = std::max(x0, 1), end = std::min(x1, width - 1);
    if (x0 == 0) tested(0);
    if (begin < end) {
        const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * width;
        SmoothInterior(out + (begin - x0), values + rowStart, labels + rowStart, width, begin,
                       end, centreWeight, range);
    }
    if (x1 == width && width > 1) tested(width - 1);
}

// A boundary sample's scaled value: clamp((100 + sh) * value / 100, 0, maxValue) with a
// signed truncating division for integers, (value + offset) * (100 + sh) / 100 clamped to
// 0..1, less the offset, for floats, whose non-finite samples read as the nearest end of the
// range (NaN as the bottom).
template <typename Sample>
class Scale {
public:
    Scale(int sh, SampleRange range)
        : percent_(100 + sh), maxValue_(range.maxValue), offset_(range.offset),
          factor_(static_cast<float>(100 + sh) / 100.0f) {}
    Sample operator()(Sample value) const {
        if constexpr (kFloat<Sample>) {
            const float v = ReadFloatSample(value, offset_);
            return std::clamp(v * factor_, 0.0f, 1.0f) - offset_;
        } else {
            // The product is exact in a float (below 2^23), and a quotient that is not an
            // integer lies at least 1/100 from the next, far beyond the division's rounding
            // error: so this truncates as an integer division would, and vectorises.
            const int32_t scaled = static_cast<int32_t>(
                static_cast<float>(percent_ * static_cast<int32_t>(value)) / 100.0f);
            return static_cast<Sample>(std::clamp(scaled, 0, maxValue_));
        }
    }
    // An interior sample that nothing smooths, kept as the destination takes a result:
    // within the range, so that a processed plane never passes junk words or NaN on.
    Sample Keep(Sample value) const {
        if constexpr (kFloat<Sample>)
            return std::clamp(ReadFloatSample(value, offset_), 0.0f, 1.0f) - offset_;
        else
            return static_cast<Sample>(std::min<int32_t>(value, maxValue_));
    }

private:
    int32_t percent_;
    int32_t maxValue_;
    float offset_;
    float factor_;
};

// Bytes scale in 16-bit arithmetic, which compilers vectorise eight or sixteen at a time:
// with sh within -10..10 the product stays below 2^16 and never goes negative.
template <>
class Scale<uint8_t> {
public:
    Scale(int sh, SampleRange) : percent_(static_cast<uint16_t>(100 + sh)) {}
    uint8_t operator()(uint8_t value) const {
        return static_cast<uint8_t>(
            std::min<uint16_t>(static_cast<uint16_t>(percent_ * value) / 100, 255));
    }
    uint8_t Keep(uint8_t value) const { return value; }

private:
    uint16_t percent_;
};

// The `count` samples of a span of one row: interior pixels take their smoothed value (or their
// source value when nothing is smoothed), boundary pixels their scaled source value. Every
// array starts at the span's first pixel; `stride` (in samples) steps through out and in, and
// is 1 when Packed, which lets the compiler vectorise the loop.
template <bool Packed, typename Sample>
void EnhanceSpan(Sample* out, const Sample* in, const uint8_t* flags, const Sample* smoothed,
                 int count, ptrdiff_t stride, const Scale<Sample>& scale) {
    for (int i = 0; i < count; ++i) {
        const ptrdiff_t at = Packed ? i : i * stride;
        const Sample value = in[at];
        const Sample interior = smoothed ? smoothed[i] : scale.Keep(value);
        if constexpr (kFloat<Sample>) {
            out[at] = flags[i] != 0 ? interior : scale(value);
        } else {
            // All ones for interior pixels: a mask, as compilers turn ?: into a branch.
            const Sample keep = static_cast<Sample>(0u - (flags[i] != 0));
            out[at] = static_cast<Sample>((interior & keep) | (scale(value) & ~keep));
        }
    }
}

// SmoothSegments on rows firstRow .. endRow - 1.
template <typename Sample>
void SmoothRows(PlaneView<Sample> dst, ChannelScratch<Sample> scratch, SampleRange range,
                int centreWeight, int firstRow, int endRow) {
    Sample values[kSpan];
    for (int y = firstRow; y < endRow; ++y) {
        Sample* out = dst.Row(y);
        for (int x0 = 0; x0 < dst.width; x0 += kSpan) {
            const int x1 = std::min(dst.width, x0 + kSpan);
            // A planar destination takes the values directly, an interleaved one via a copy.
            Sample* span = dst.Packed() ? out + x0 : values;
            SmoothSpan(span, scratch, dst.width, dst.height, y, x0, x1, centreWeight, range);
            if (dst.Packed()) continue;
            for (int x = x0; x < x1; ++x) dst.At(out, x) = span[x - x0];
        }
    }
}

}  // namespace

template <typename Sample>
void SmoothSegments(PlaneView<Sample> dst, ChannelScratch<Sample> scratch, SampleRange range,
                    int centreWeight) {
    SmoothRows(dst, scratch, range, centreWeight, 0, dst.height);
}

template <typename Sample>
void AmplifyBoundaries(PlaneView<Sample> dst, SourcePlane<Sample> src,
                       ChannelScratch<Sample> scratch, SampleRange range, int sh) {
    const Scale<Sample> scale(sh, range);
    for (int y = 0; y < src.height; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        const uint8_t* flags = scratch.boundary + static_cast<ptrdiff_t>(y) * src.width;
        for (int x = 0; x < src.width; ++x)
            if (flags[x] == 0) dst.At(out, x) = scale(src.At(in, x));
    }
}

// Equivalent to SmoothSegments or CopyChannel followed by AmplifyBoundaries, but every sample
// is written once, and the choice between boundary and interior is a selection rather than a
// branch (about half the pixels of a grainy frame are boundary pixels, in no pattern). The
// boundary values come from src as it was on entry, so dst must not overlap src.
template <typename Sample>
void EnhanceRows(PlaneView<Sample> dst, SourcePlane<Sample> src, ChannelScratch<Sample> scratch,
                 SampleRange range, int factor, int sh, int firstRow, int endRow) {
    if (sh == 0) {
        if (factor > 0) SmoothRows(dst, scratch, range, 10 - factor, firstRow, endRow);
        return;
    }
    const Scale<Sample> scale(sh, range);
    const ptrdiff_t stride = src.Stride();  // dst's too
    Sample smoothed[kSpan];
    Sample results[kSpan];
    for (int y = firstRow; y < endRow; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * src.width;
        const uint8_t* flags = scratch.boundary + rowStart;
        for (int x0 = 0; x0 < src.width; x0 += kSpan) {
            const int x1 = std::min(src.width, x0 + kSpan);
            if (factor > 0)
                SmoothSpan(smoothed, scratch, src.width, src.height, y, x0, x1, 10 - factor,
                           range);
            const Sample* interior = factor > 0 ? smoothed : nullptr;
            const int count = x1 - x0;
            if (stride == 1) {
                EnhanceSpan<true>(out + x0, in + x0, flags + x0, interior, count, 1, scale);
            } else if constexpr (!kFloat<Sample>) {
                // An interleaved destination: integer samples are worked out from the
                // channel's packed copy of the source values, which is the same, so that only
                // the stores step through the pixels.
                EnhanceSpan<true>(results, scratch.channel + rowStart + x0, flags + x0, interior,
                                  count, 1, scale);
                for (int i = 0; i < count; ++i) out[(x0 + i) * stride] = results[i];
            } else {
                EnhanceSpan<false>(out + x0 * stride, in + x0 * stride, flags + x0, interior,
                                   count, stride, scale);
            }
        }
    }
}

template <typename Sample>
void EnhanceChannel(PlaneView<Sample> dst, SourcePlane<Sample> src,
                    ChannelScratch<Sample> scratch, SampleRange range, int factor, int sh) {
    EnhanceRows(dst, src, scratch, range, factor, sh, 0, src.height);
}

template void EnhanceRows(PlaneView<uint8_t>, SourcePlane<uint8_t>, ChannelScratch<uint8_t>,
                          SampleRange, int, int, int, int);
template void EnhanceRows(PlaneView<uint16_t>, SourcePlane<uint16_t>, ChannelScratch<uint16_t>,
                          SampleRange, int, int, int, int);
template void EnhanceRows(PlaneView<float>, SourcePlane<float>, ChannelScratch<float>,
                          SampleRange, int, int, int, int);
template void EnhanceChannel(PlaneView<uint8_t>, SourcePlane<uint8_t>, ChannelScratch<uint8_t>,
                             SampleRange, int, int);
template void EnhanceChannel(PlaneView<uint16_t>, SourcePlane<uint16_t>, ChannelScratch<uint16_t>,
                             SampleRange, int, int);
template void EnhanceChannel(PlaneView<float>, SourcePlane<float>, ChannelScratch<float>,
                             SampleRange, int, int);
template void SmoothSegments(PlaneView<uint8_t>, ChannelScratch<uint8_t>, SampleRange, int);
template void SmoothSegments(PlaneView<uint16_t>, ChannelScratch<uint16_t>, SampleRange, int);
template void SmoothSegments(PlaneView<float>, ChannelScratch<float>, SampleRange, int);
template void AmplifyBoundaries(PlaneView<uint8_t>, SourcePlane<uint8_t>, ChannelScratch<uint8_t>,
                                SampleRange, int);
template void AmplifyBoundaries(PlaneView<uint16_t>, SourcePlane<uint16_t>,
                                ChannelScratch<uint16_t>, SampleRange, int);
template void AmplifyBoundaries(PlaneView<float>, SourcePlane<float>, ChannelScratch<float>,
                                SampleRange, int);
