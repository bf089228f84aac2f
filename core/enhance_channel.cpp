#include "enhance_channel.h"

#include <algorithm>
#include <cstddef>

#include "channel_copy.h"
#include "exact_division.h"

namespace {

// The weighted mean at one pixel with every position bounds-tested and a real division:
// used along the plane's edges, and everywhere for centre weights beyond kMaxCentreWeight.
uint8_t SmoothPixelTested(const uint8_t* channelBuf, const int32_t* labelBuf, int rowLength,
                          int width, int height, int x, int y, uint32_t centreWeight) {
    const ptrdiff_t at = static_cast<ptrdiff_t>(y) * rowLength + x;
    const int32_t own = labelBuf[at];
    uint32_t sum = centreWeight * channelBuf[at];
    uint32_t weight = centreWeight;
    for (int dy = -1; dy <= 1; ++dy) {
        if (y + dy < 0 || y + dy >= height) continue;
        for (int dx = -1; dx <= 1; ++dx) {
            if (x + dx < 0 || x + dx >= width) continue;
            const ptrdiff_t there = at + static_cast<ptrdiff_t>(dy) * rowLength + dx;
            if (labelBuf[there] != own) continue;
            const uint32_t w = (dy == 0 || dx == 0) ? 2 : 1;
            sum += w * channelBuf[there];
            weight += w;
        }
    }
    return static_cast<uint8_t>(sum / weight);
}

// Pixels x0 .. x1-1 (all with both horizontal neighbours) of an interior row into
// values[0 ..]: all nine positions exist, so each neighbour's weight is a mask of its label
// match, with no branch and no bounds test; compilers vectorise the loop.
void SmoothInterior(uint8_t* values, const uint8_t* channelRow, const int32_t* labelRow,
                    int rowLength, int x0, int x1, int32_t centreWeight) {
    const uint8_t* above = channelRow - rowLength;
    const uint8_t* below = channelRow + rowLength;
    const int32_t* labelAbove = labelRow - rowLength;
    const int32_t* labelBelow = labelRow + rowLength;
    const int32_t centre = centreWeight + 2;
    for (int x = x0; x < x1; ++x) {
        const int32_t own = labelRow[x];
        // -1 (all bits) where the neighbour shares the label, else 0.
        const int32_t n = -(labelAbove[x] == own), s = -(labelBelow[x] == own);
        const int32_t w = -(labelRow[x - 1] == own), e = -(labelRow[x + 1] == own);
        const int32_t nw = -(labelAbove[x - 1] == own), ne = -(labelAbove[x + 1] == own);
        const int32_t sw = -(labelBelow[x - 1] == own), se = -(labelBelow[x + 1] == own);
        const int32_t weight = centre - 2 * (n + s + w + e) - (nw + ne + sw + se);
        const int32_t sum = centre * channelRow[x] +
                            2 * ((n & above[x]) + (s & below[x]) + (w & channelRow[x - 1]) +
                                 (e & channelRow[x + 1])) +
                            (nw & above[x - 1]) + (ne & above[x + 1]) + (sw & below[x - 1]) +
                            (se & below[x + 1]);
        values[x - x0] = static_cast<uint8_t>(DivideByWeight(sum, weight));
    }
}

// Rows are smoothed in spans of this many pixels into a buffer on the stack.
constexpr int kSpan = 2048;

// The smoothed values of pixels x0 .. x1-1 of row y, into values[0 .. x1-x0-1].
void SmoothSpan(uint8_t* values, const uint8_t* channelBuf, const int32_t* labelBuf,
                int rowLength, int width, int height, int y, int x0, int x1,
                int centreWeight) {
    const auto tested = [&](int x) {
        values[x - x0] = SmoothPixelTested(channelBuf, labelBuf, rowLength, width, height, x, y,
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
        const ptrdiff_t rowStart = static_cast<ptrdiff_t>(y) * rowLength;
        SmoothInterior(values + (begin - x0), channelBuf + rowStart, labelBuf + rowStart,
                       rowLength, begin, end, centreWeight);
    }
    if (x1 == width && width > 1) tested(width - 1);
}

// clamp((100 + sh) * value / 100, 0, 255) for every value, signed truncating division.
struct ScaleTable {
    explicit ScaleTable(int sh) {
        for (int32_t value = 0; value < 256; ++value)
            scaled[value] = static_cast<uint8_t>(std::clamp((100 + sh) * value / 100, 0, 255));
    }
    uint8_t scaled[256];
};

}  // namespace

void SmoothSegments(uint8_t* dst, int dstPitch, int dstStep, const uint8_t* channelBuf,
                    const int32_t* labelBuf, int rowLength, int width, int height,
                    int centreWeight) {
    uint8_t values[kSpan];
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        for (int x0 = 0; x0 < width; x0 += kSpan) {
            const int x1 = std::min(width, x0 + kSpan);
            // A planar destination takes the values directly, an interleaved one via a copy.
            uint8_t* span = dstStep == 1 ? out + x0 : values;
            SmoothSpan(span, channelBuf, labelBuf, rowLength, width, height, y, x0, x1,
                       centreWeight);
            if (dstStep == 1) continue;
            for (int x = x0; x < x1; ++x) out[static_cast<ptrdiff_t>(x) * dstStep] = span[x - x0];
        }
    }
}

void AmplifyBoundaries(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                       const uint8_t* boundaryBuf, int rowLength, int width, int height,
                       int step, int sh) {
    const ScaleTable table(sh);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcPitch;
        const uint8_t* flags = boundaryBuf + static_cast<ptrdiff_t>(y) * rowLength;
        for (int x = 0; x < width; ++x) {
            const ptrdiff_t at = static_cast<ptrdiff_t>(x) * step;
            if (flags[x] == 0) out[at] = table.scaled[in[at]];
        }
    }
}

// Equivalent to SmoothSegments or CopyChannel followed by AmplifyBoundaries, but every sample
// is written once, and the choice between boundary and interior is a selection rather than a
// branch (about half the pixels of a grainy frame are boundary pixels, in no pattern). The
// boundary values come from src as it was on entry, so dst must not overlap src.
void EnhanceChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height, const uint8_t* channelBuf, const int32_t* labelBuf,
                    const uint8_t* boundaryBuf, int rowLength, int factor, int sh) {
    if (sh == 0) {
        if (factor > 0)
            SmoothSegments(dst, dstPitch, step, channelBuf, labelBuf, rowLength, width, height,
                           10 - factor);
        return;
    }
    const ScaleTable table(sh);
    uint8_t smoothed[kSpan];
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcPitch;
        const uint8_t* flags = boundaryBuf + static_cast<ptrdiff_t>(y) * rowLength;
        for (int x0 = 0; x0 < width; x0 += kSpan) {
            const int x1 = std::min(width, x0 + kSpan);
            if (factor > 0)
                SmoothSpan(smoothed, channelBuf, labelBuf, rowLength, width, height, y, x0, x1,
                           10 - factor);
            for (int x = x0; x < x1; ++x) {
                const ptrdiff_t at = static_cast<ptrdiff_t>(x) * step;
                const uint8_t interior = factor > 0 ? smoothed[x - x0] : in[at];
                // All ones for interior pixels: a mask, as compilers turn ?: into a branch.
                const uint8_t keep = static_cast<uint8_t>(0u - (flags[x] != 0));
                out[at] = static_cast<uint8_t>((interior & keep) | (table.scaled[in[at]] & ~keep));
            }
        }
    }
}
