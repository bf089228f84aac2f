#include "enhance_channel.h"

#include <algorithm>
#include <cstddef>

#include "channel_copy.h"
#include "exact_division.h"

namespace {

// The weighted mean at one pixel with every position bounds-tested and a real division:
// used along the plane's edges, and everywhere for centre weights beyond kMaxCentreWeight.
template <typename Sample>
Sample SmoothPixelTested(const Sample* values, const int32_t* labels, int width, int height,
                         int x, int y, uint32_t centreWeight) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(y) * width + x;
    const int32_t own = labels[at];
    uint32_t sum = centreWeight * values[at];
    uint32_t weight = centreWeight;
    for (int dy = -1; dy <= 1; ++dy) {
        if (y + dy < 0 || y + dy >= height) continue;
        for (int dx = -1; dx <= 1; ++dx) {
            if (x + dx < 0 || x + dx >= width) continue;
            const ptrdiff_t there = at + static_cast<ptrdiff_t>(dy) * width + dx;
            if (labels[there] != own) continue;
            const uint32_t w = (dy == 0 || dx == 0) ? 2 : 1;
            sum += w * values[there];
            weight += w;
        }
    }
    return static_cast<Sample>(sum / weight);
}

// Pixels x0 .. x1-1 (all with both horizontal neighbours) of an interior row into
// out[0 ..]: all nine positions exist, so each neighbour's weight is a mask of its label
// match, with no branch and no bounds test; compilers vectorise the loop.
template <typename Sample>
void SmoothInterior(Sample* out, const Sample* valueRow, const int32_t* labelRow, int width,
                    int x0, int x1, int32_t centreWeight) {
    const Sample* above = valueRow - width;
    const Sample* below = valueRow + width;
    const int32_t* labelAbove = labelRow - width;
    const int32_t* labelBelow = labelRow + width;
    const int32_t centre = centreWeight + 2;
    for (int x = x0; x < x1; ++x) {
        const int32_t own = labelRow[x];
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
        out[x - x0] = static_cast<Sample>(DivideByWeight(sum, weight));
    }
}

// Rows are smoothed in spans of this many pixels into a buffer on the stack.
constexpr int kSpan = 2048;

// The smoothed values of pixels x0 .. x1-1 of row y, into out[0 .. x1-x0-1].
template <typename Sample>
void SmoothSpan(Sample* out, ChannelScratch<Sample> scratch, int width, int height,
                int y, int x0, int x1, int centreWeight) {
    const Sample* values = scratch.channel;
    const int32_t* labels = scratch.label;
    const auto tested = [&](int x) {
        out[x - x0] = SmoothPixelTested(values, labels, width, height, x, y,
                                        static_cast<uint32_t>(centreWeight));
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
                       end, centreWeight);
    }
    if (x1 == width && width > 1) tested(width - 1);
}

// clamp((100 + sh) * value / 100, 0, maxValue) for every 8-bit value, signed truncating
// division.
struct ScaleTable {
    ScaleTable(int sh, SampleRange range) {
        for (int32_t value = 0; value < 256; ++value)
            scaled[value] = static_cast<uint8_t>(std::clamp((100 + sh) * value / 100, 0, range.maxValue));
    }
    uint8_t operator()(uint8_t value) const { return scaled[value]; }
    uint8_t scaled[256];
};

}  // namespace

template <typename Sample>
void SmoothSegments(PlaneView<Sample> dst, ChannelScratch<Sample> scratch,
                    SampleRange, int centreWeight) {
    Sample values[kSpan];
    for (int y = 0; y < dst.height; ++y) {
        Sample* out = dst.Row(y);
        for (int x0 = 0; x0 < dst.width; x0 += kSpan) {
            const int x1 = std::min(dst.width, x0 + kSpan);
            // A planar destination takes the values directly, an interleaved one via a copy.
            Sample* span = dst.Packed() ? out + x0 : values;
            SmoothSpan(span, scratch, dst.width, dst.height, y, x0, x1, centreWeight);
            if (dst.Packed()) continue;
            for (int x = x0; x < x1; ++x) dst.At(out, x) = span[x - x0];
        }
    }
}

template <typename Sample>
void AmplifyBoundaries(PlaneView<Sample> dst, SourcePlane<Sample> src,
                       ChannelScratch<Sample> scratch, SampleRange range, int sh) {
    const ScaleTable scale(sh, range);
    for (int y = 0; y < src.height; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        const uint8_t* flags = scratch.boundary + static_cast<ptrdiff_t>(y) * src.width;
        for (int x = 0; x < src.width; ++x)
            if (flags[x] == 0) dst.At(out, x) = scale(src.At(in, x));
    }
}

namespace {

// Samples x0 .. x1-1 of one row: interior pixels take their smoothed value (or their source
// value when nothing is smoothed), boundary pixels their scaled source value. `stride` is in
// samples; 1 when Packed, which lets the compiler vectorise the loop.
template <bool Packed, typename Sample, typename Scale>
void EnhanceSpan(Sample* out, const Sample* in, const uint8_t* flags, const Sample* smoothed,
                 int x0, int x1, ptrdiff_t stride, const Scale& scale) {
    for (int x = x0; x < x1; ++x) {
        const ptrdiff_t at = Packed ? x : x * stride;
        const Sample value = in[at];
        const Sample interior = smoothed ? smoothed[x - x0] : value;
        // All ones for interior pixels: a mask, as compilers turn ?: into a branch.
        const Sample keep = static_cast<Sample>(0u - (flags[x] != 0));
        out[at] = static_cast<Sample>((interior & keep) | (scale(value) & ~keep));
    }
}

}  // namespace

// Equivalent to SmoothSegments or CopyChannel followed by AmplifyBoundaries, but every sample
// is written once, and the choice between boundary and interior is a selection rather than a
// branch (about half the pixels of a grainy frame are boundary pixels, in no pattern). The
// boundary values come from src as it was on entry, so dst must not overlap src.
template <typename Sample>
void EnhanceChannel(PlaneView<Sample> dst, SourcePlane<Sample> src,
                    ChannelScratch<Sample> scratch, SampleRange range, int factor,
                    int sh) {
    if (sh == 0) {
        if (factor > 0) SmoothSegments(dst, scratch, range, 10 - factor);
        return;
    }
    const ScaleTable scale(sh, range);
    const ptrdiff_t stride = src.Stride();  // dst's too
    Sample smoothed[kSpan];
    for (int y = 0; y < src.height; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        const uint8_t* flags = scratch.boundary + static_cast<ptrdiff_t>(y) * src.width;
        for (int x0 = 0; x0 < src.width; x0 += kSpan) {
            const int x1 = std::min(src.width, x0 + kSpan);
            if (factor > 0)
                SmoothSpan(smoothed, scratch, src.width, src.height, y, x0, x1, 10 - factor);
            const Sample* interior = factor > 0 ? smoothed : nullptr;
            if (stride == 1)
                EnhanceSpan<true>(out, in, flags, interior, x0, x1, stride, scale);
            else
                EnhanceSpan<false>(out, in, flags, interior, x0, x1, stride, scale);
        }
    }
}

template void EnhanceChannel(PlaneView<uint8_t>, PlaneView<const uint8_t>,
                             ChannelScratch<uint8_t>, SampleRange, int, int);
template void SmoothSegments(PlaneView<uint8_t>, ChannelScratch<uint8_t>,
                             SampleRange, int);
template void AmplifyBoundaries(PlaneView<uint8_t>, PlaneView<const uint8_t>,
                                ChannelScratch<uint8_t>, SampleRange, int);
