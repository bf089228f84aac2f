// The regions view of a frame: what the filter's channel passes see, painted.
//
// Every channel that the frame's plan processes is segmented exactly as the filter's channel
// pass segments it (SegmentChannel, on the segmentation frame), and each of its pixels
// becomes the mean of the source's values over the pixel's region, like a mosaic. Channels
// the plan does not process (U or V with smu or smv 0, alpha) are copied unchanged, as the
// filter copies them. Host-free, like the engine it drives.
//
// The painting rule, per processed channel:
//   - a region's mean counts every pixel that carries its label, boundary pixels included,
//     because the filter's smoothing counts them as members too;
//   - an integer mean is rounded to the nearest integer, halves up: (sum + count / 2) / count,
//     in 64-bit integers (a region of 2^29 pixels of 255 overflows 32 bits); a float mean is
//     the exact mean (summed in double), of the values as the filter reads them;
//   - with boundaries marked, a boundary pixel becomes the bottom of the range when its
//     region's mean lies in the upper half and the top otherwise: the extreme farthest from
//     the paint around it, so a line stands out whether its region is dark or bright. A fixed
//     value (black) would vanish in dark regions. On grain about half the pixels are
//     boundaries, so the marks are a choice, not the default.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_plan.h"
#include "frame_render.h"
#include "working_buffers.h"

namespace engine {

enum class RegionsStyle {
    Mosaic,          // every pixel in its region's mean
    MarkBoundaries,  // boundary pixels marked in the extreme away from their region's mean
};

class RegionPainter {
public:
    // Buffers for frames of width x height of these samples, the largest channel a plan of
    // that size has; taken here once, then reused for every frame. Throws std::bad_alloc.
    RegionPainter(int width, int height, const SampleFormat& samples, RegionsStyle style);

    // Writes every byte of every row of the destination frame that belongs to a channel, in
    // the plan's order. frame.seg is the segmentation frame (the source unless useclip). The
    // plan must be for a frame of at most the painter's size, and its arguments must have
    // passed FirstFailedCheck. Calls on one painter must not overlap.
    void Paint(const FramePlan& plan, const FrameRefs& frame);
    // One step of Paint; steps of one frame may run at once on painters of their own.
    void PaintStep(const FramePlan& plan, const FrameRefs& frame, int step);

    // Bytes held: the working buffers and the per-region totals.
    size_t Bytes() const;

private:
    template <typename Sample>
    void PaintChannel(const FramePlan& plan, const FrameRefs& frame, const ChannelStep& c);

    WorkingBuffers buffers_;
    RegionsStyle style_;
    // Per region label (1 to the number of regions; labels never exceed the pixel count): the
    // sum of its source values, then its mean; and its pixel count. Integers sum exactly in
    // 64 bits, floats in double; one array serves both (a double holds a 64-bit pattern).
    std::vector<uint64_t> sums_;
    std::vector<uint32_t> counts_;
};

}  // namespace engine
