#include "region_painter.h"

#include <algorithm>
#include <cstddef>

namespace engine {

RegionPainter::RegionPainter(int width, int height, RegionsStyle style)
    : buffers_(width, height), style_(style),
      // Label 0 is never given; keeping its slot lets a label index the arrays directly.
      sums_(static_cast<size_t>(width) * static_cast<size_t>(height) + 1),
      counts_(sums_.size()) {}

size_t RegionPainter::Bytes() const {
    return buffers_.Bytes() + sums_.size() * sizeof(uint64_t) + counts_.size() * sizeof(uint32_t);
}

void RegionPainter::Paint(const FramePlan& plan, const FrameRefs& frame) {
    WalkFrame(plan, frame, nullptr,
              [&](const ChannelStep& c) { PaintChannel(plan, frame, c); });
}

void RegionPainter::PaintChannel(const FramePlan& plan, const FrameRefs& frame,
                                 const ChannelStep& c) {
    // The channel buffer then holds the source's values: the filter smooths the source's
    // values within the segmentation clip's regions, so the means are of those.
    const ChannelScratch<uint8_t> scratch = buffers_.Scratch();
    SegmentChannel(plan, scratch, frame, c);
    const size_t pixels = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    const uint8_t* values = scratch.channel;
    const int32_t* labels = scratch.label;
    const uint8_t* boundary = scratch.boundary;
    // Labels run from 1 to the number of regions without gaps, so the largest is that number.
    const size_t regions = static_cast<size_t>(*std::max_element(labels, labels + pixels));
    std::fill_n(sums_.begin(), regions + 1, 0);
    std::fill_n(counts_.begin(), regions + 1, 0);
    for (size_t i = 0; i < pixels; ++i) {
        sums_[static_cast<size_t>(labels[i])] += values[i];
        ++counts_[static_cast<size_t>(labels[i])];
    }
    for (size_t label = 1; label <= regions; ++label)
        sums_[label] = (sums_[label] + counts_[label] / 2) / counts_[label];

    const PlaneView<uint8_t> dst = ChannelOf(frame.dst[c.plane], c);
    const bool marked = style_ == RegionsStyle::MarkBoundaries;
    for (int y = 0; y < c.height; ++y) {
        uint8_t* out = dst.Row(y);
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(c.width);
        for (int x = 0; x < c.width; ++x) {
            const uint8_t mean = static_cast<uint8_t>(sums_[static_cast<size_t>(labels[row + x])]);
            dst.At(out, x) = marked && boundary[row + x] == 0 ? BoundaryMark(mean) : mean;
        }
    }
}

}  // namespace engine
