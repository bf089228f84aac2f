#include "region_paint.h"

#include <algorithm>
#include <cstddef>

#include "basinlift_core.h"

namespace cli {

RegionPainter::RegionPainter(int width, int height)
    : buffers_(width, height),
      // Label 0 is never given; keeping its slot lets a label index the arrays directly.
      sums_(static_cast<size_t>(width) * static_cast<size_t>(height) + 1),
      counts_(sums_.size()) {}

void RegionPainter::Paint(const engine::FramePlan& plan, const engine::FrameRefs& frame) {
    engine::WalkFrame(plan, frame, nullptr,
                      [&](const engine::ChannelStep& c) { PaintChannel(plan, frame, c); });
}

void RegionPainter::PaintChannel(const engine::FramePlan& plan, const engine::FrameRefs& frame,
                                 const engine::ChannelStep& c) {
    // channelBuf then holds the source's values: the filter smooths the source's values
    // within the segmentation clip's regions, so the means are of those.
    engine::SegmentChannel(plan, buffers_, frame, c);
    const engine::WritablePlaneRef& dst = frame.dst[c.plane];
    const size_t pixels = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    const uint8_t* values = buffers_.channel();
    const int32_t* labels = buffers_.label();
    const uint8_t* boundary = buffers_.boundary();
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

    for (int y = 0; y < c.height; ++y) {
        uint8_t* out = dst.data + static_cast<ptrdiff_t>(y) * dst.pitch + c.offset;
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(c.width);
        for (int x = 0; x < c.width; ++x, out += c.step) {
            const uint8_t mean = static_cast<uint8_t>(sums_[static_cast<size_t>(labels[row + x])]);
            *out = boundary[row + x] == 0 ? BoundaryMark(mean) : mean;
        }
    }
}

}  // namespace cli
