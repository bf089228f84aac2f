#include "reference_pass.h"

#include <algorithm>
#include <deque>
#include <type_traits>
#include <vector>

namespace reference {

namespace {

template <typename Sample>
constexpr bool kFloat = std::is_floating_point_v<Sample>;

// A sample as the filter computes with it: floats with the range's offset, a NaN or an
// infinity at the nearest end of the range.
template <typename Sample>
Sample Read(Sample value, SampleRange range) {
    if constexpr (kFloat<Sample>)
        return ReadFloatSample(value, range.offset);
    else
        return value;
}

template <typename Sample>
void Extract(ChannelScratch<Sample> scratch, SourcePlane<Sample> src, SampleRange range) {
    for (int y = 0; y < src.height; ++y)
        for (int x = 0; x < src.width; ++x)
            scratch.channel[y * src.width + x] = Read(src.At(src.Row(y), x), range);
}

}  // namespace

template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg,
                SampleRange range) {
    Extract(scratch, seg, range);
    const int n = seg.width * seg.height;
    for (int i = 0; i < n; ++i) scratch.order[i] = static_cast<uint32_t>(i);
    const Sample* channel = scratch.channel;
    std::sort(scratch.order, scratch.order + n,
              [channel](uint32_t a, uint32_t b) { return channel[a] < channel[b]; });
}

template <typename Sample>
void Watershed(ChannelScratch<Sample> scratch, int width, int height, bool c4) {
    const int n = width * height;
    const uint32_t* order = scratch.order;
    const Sample* channel = scratch.channel;
    int32_t* labelBuf = scratch.label;
    uint8_t* boundaryBuf = scratch.boundary;
    std::vector<int32_t> distBuf(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        labelBuf[i] = LABEL_INIT;
        boundaryBuf[i] = 255;
    }
    // A pixel is its index; the marker is an index no pixel has.
    using Pixel = int;
    const Pixel marker = -1;
    const auto value = [&](Pixel p) { return channel[p]; };
    const auto label = [&](Pixel p) -> int32_t& { return labelBuf[p]; };
    const auto dist = [&](Pixel p) -> int32_t& { return distBuf[static_cast<size_t>(p)]; };
    const auto boundary = [&](Pixel p) -> uint8_t& { return boundaryBuf[p]; };
    const auto onBorder = [&](Pixel p) {
        const int y = p / width, x = p % width;
        return y == 0 || y == height - 1 || x == 0 || x == width - 1;
    };
    // Calls visit for each neighbour of p inside the plane: the row above from left to right,
    // left and right, the row below from left to right; without the diagonals when c4.
    const auto forEachNeighbour = [&](Pixel p, auto&& visit) {
        const int y = p / width, x = p % width;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (dy == 0 && dx == 0) continue;
                if (c4 && dy != 0 && dx != 0) continue;
                if (y + dy < 0 || y + dy >= height || x + dx < 0 || x + dx >= width) continue;
                visit((y + dy) * width + (x + dx));
            }
        }
    };

    std::deque<Pixel> queue;
    int32_t regions = 0;
    int markStart = 0, minimaStart = 0;
    // Every level from the lowest value to the highest. A level without pixels marks, seeds,
    // grows and names nothing, so the walk goes from one value present to the next.
    for (int next = 0; next < n;) {
        const Sample h = value(static_cast<Pixel>(order[next]));
        // Marking.
        int j = markStart;
        for (; j < n && value(static_cast<Pixel>(order[j])) <= h; ++j)
            if (value(static_cast<Pixel>(order[j])) == h) label(static_cast<Pixel>(order[j])) = LABEL_MASK;

        // Seeding: a pixel off the border with a labelled neighbour, that is, a lower one.
        for (j = markStart; j < n && value(static_cast<Pixel>(order[j])) <= h; ++j) {
            const Pixel p = static_cast<Pixel>(order[j]);
            if (value(p) != h || onBorder(p)) continue;
            bool seed = false;
            forEachNeighbour(p, [&](Pixel q) { seed = seed || label(q) >= 1; });
            if (seed) {
                dist(p) = 1;
                queue.push_back(p);
            }
        }
        if (j < n) markStart = j;
        next = j;

        // Growth, one distance after the other.
        int32_t current = 1;
        queue.push_back(marker);
        for (;;) {
            Pixel p = queue.front();
            queue.pop_front();
            if (p == marker) {
                if (queue.empty()) break;
                queue.push_back(marker);
                ++current;
                p = queue.front();
                queue.pop_front();
            }
            forEachNeighbour(p, [&](Pixel q) {
                if (dist(q) < current && label(q) >= 1) {
                    if (label(p) == LABEL_MASK || boundary(p) == 0)
                        label(p) = label(q);
                    else if (label(p) != label(q))
                        boundary(p) = 0;
                } else if (label(q) == LABEL_MASK && dist(q) == 0) {
                    dist(q) = current + 1;
                    queue.push_back(q);
                }
            });
        }

        // New minima: what no region reached starts regions of its own.
        for (j = minimaStart; j < n && value(static_cast<Pixel>(order[j])) <= h; ++j) {
            const Pixel p = static_cast<Pixel>(order[j]);
            if (value(p) != h) continue;
            dist(p) = 0;
            if (label(p) != LABEL_MASK) continue;
            label(p) = ++regions;
            queue.push_back(p);
            while (!queue.empty()) {
                const Pixel s = queue.front();
                queue.pop_front();
                forEachNeighbour(s, [&](Pixel r) {
                    if (label(r) == LABEL_MASK) {
                        label(r) = regions;
                        queue.push_back(r);
                    }
                });
            }
        }
        if (j < n) minimaStart = j;
    }
}

template <typename Sample>
void SmoothSegments(PlaneView<Sample> dst, ChannelScratch<Sample> scratch,
                    SampleRange range, int centreWeight) {
    using Sum = std::conditional_t<kFloat<Sample>, float, uint32_t>;
    const int width = dst.width, height = dst.height;
    const Sample* values = scratch.channel;
    const int32_t* labels = scratch.label;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int32_t own = labels[y * width + x];
            Sum sum = static_cast<Sum>(centreWeight) * values[y * width + x];
            Sum weight = static_cast<Sum>(centreWeight);
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int ny = y + dy, nx = x + dx;
                    if (ny < 0 || ny >= height || nx < 0 || nx >= width) continue;
                    if (labels[ny * width + nx] != own) continue;
                    const Sum w = (dy == 0 || dx == 0) ? 2 : 1;
                    sum += w * values[ny * width + nx];
                    weight += w;
                }
            }
            // Means are clamped to the range: words may carry junk above their bits, and
            // floats may lie beyond 0..1. Floats divide exactly and lose their offset again.
            Sample mean;
            if constexpr (kFloat<Sample>)
                mean = std::clamp(sum / weight, 0.0f, 1.0f) - range.offset;
            else
                mean = static_cast<Sample>(std::min(sum / weight, static_cast<Sum>(range.maxValue)));
            dst.At(dst.Row(y), x) = mean;
        }
    }
}

template <typename Sample>
void AmplifyBoundaries(PlaneView<Sample> dst, SourcePlane<Sample> src,
                       ChannelScratch<Sample> scratch, SampleRange range, int sh) {
    for (int y = 0; y < src.height; ++y) {
        for (int x = 0; x < src.width; ++x) {
            if (scratch.boundary[y * src.width + x] != 0) continue;
            const Sample value = src.At(src.Row(y), x);
            if constexpr (kFloat<Sample>) {
                const float factor = static_cast<float>(100 + sh) / 100.0f;
                dst.At(dst.Row(y), x) =
                    std::clamp(Read(value, range) * factor, 0.0f, 1.0f) - range.offset;
            } else {
                const int32_t scaled = (100 + sh) * value / 100;
                dst.At(dst.Row(y), x) = static_cast<Sample>(std::clamp(scaled, 0, range.maxValue));
            }
        }
    }
}

template <typename Sample>
void EnhanceChannel(PlaneView<Sample> dst, SourcePlane<Sample> src,
                    ChannelScratch<Sample> scratch, SampleRange range, int factor,
                    int sh) {
    if (factor > 0) SmoothSegments(dst, scratch, range, 10 - factor);
    if (sh == 0) return;
    // Unsmoothed interior pixels are copied, within the range as any result is.
    if (factor == 0)
        for (int y = 0; y < src.height; ++y)
            for (int x = 0; x < src.width; ++x) {
                const Sample value = src.At(src.Row(y), x);
                if constexpr (kFloat<Sample>)
                    dst.At(dst.Row(y), x) = std::clamp(Read(value, range), 0.0f, 1.0f) - range.offset;
                else
                    dst.At(dst.Row(y), x) = static_cast<Sample>(std::min<int32_t>(value, range.maxValue));
            }
    AmplifyBoundaries(dst, src, scratch, range, sh);
}

template <typename Sample>
void ChannelPass(PlaneView<Sample> dst, SourcePlane<Sample> src,
                 SourcePlane<Sample> seg, SampleRange range, int factor,
                 int sh, bool c4) {
    const size_t n = src.Pixels();
    std::vector<Sample> channel(n);
    std::vector<uint32_t> order(n);
    std::vector<int32_t> label(n);
    std::vector<uint8_t> boundary(n);
    const ChannelScratch<Sample> scratch{channel.data(), order.data(), label.data(),
                                         boundary.data(), nullptr, nullptr};
    SortPixels(scratch, seg, range);
    Watershed(scratch, src.width, src.height, c4);
    Extract(scratch, src, range);
    if (factor > 0 || sh != 0) EnhanceChannel(dst, src, scratch, range, factor, sh);
}

template void SortPixels(ChannelScratch<uint8_t>, SourcePlane<uint8_t>, SampleRange);
template void Watershed(ChannelScratch<uint8_t>, int, int, bool);
template void SmoothSegments(PlaneView<uint8_t>, ChannelScratch<uint8_t>, SampleRange, int);
template void AmplifyBoundaries(PlaneView<uint8_t>, SourcePlane<uint8_t>, ChannelScratch<uint8_t>, SampleRange,
                                int);
template void EnhanceChannel(PlaneView<uint8_t>, SourcePlane<uint8_t>, ChannelScratch<uint8_t>, SampleRange,
                             int, int);
template void ChannelPass(PlaneView<uint8_t>, SourcePlane<uint8_t>, SourcePlane<uint8_t>, SampleRange, int,
                          int, bool);
template void SortPixels(ChannelScratch<uint16_t>, SourcePlane<uint16_t>, SampleRange);
template void Watershed(ChannelScratch<uint16_t>, int, int, bool);
template void SmoothSegments(PlaneView<uint16_t>, ChannelScratch<uint16_t>, SampleRange, int);
template void AmplifyBoundaries(PlaneView<uint16_t>, SourcePlane<uint16_t>, ChannelScratch<uint16_t>, SampleRange,
                                int);
template void EnhanceChannel(PlaneView<uint16_t>, SourcePlane<uint16_t>, ChannelScratch<uint16_t>, SampleRange,
                             int, int);
template void ChannelPass(PlaneView<uint16_t>, SourcePlane<uint16_t>, SourcePlane<uint16_t>, SampleRange, int,
                          int, bool);
template void SortPixels(ChannelScratch<float>, SourcePlane<float>, SampleRange);
template void Watershed(ChannelScratch<float>, int, int, bool);
template void SmoothSegments(PlaneView<float>, ChannelScratch<float>, SampleRange, int);
template void AmplifyBoundaries(PlaneView<float>, SourcePlane<float>, ChannelScratch<float>, SampleRange,
                                int);
template void EnhanceChannel(PlaneView<float>, SourcePlane<float>, ChannelScratch<float>, SampleRange,
                             int, int);
template void ChannelPass(PlaneView<float>, SourcePlane<float>, SourcePlane<float>, SampleRange, int,
                          int, bool);

}  // namespace reference
