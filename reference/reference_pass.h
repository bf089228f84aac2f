// The channel pass as a straightforward first implementation writes it: std::sort with a
// value comparator, a std::deque of pixels with a marker, every neighbour bounds-tested, a
// division per pixel. Slow, but each step can be checked by reading it against the
// algorithm's description.
//
// It is the one plain statement of the pass in the project: the tests compare the core's and
// the engine's outputs with it, and the benchmark times the core against it in the same run.
// Every function has the arguments of the core operation of the same name, writes the same
// buffers and keeps the same preconditions.
#pragma once

#include <cstdint>

#include "plane_view.h"

namespace reference {

// Labels that exist only while Watershed runs; at return every pixel has a region label >= 1.
// NOLINTBEGIN(readability-identifier-naming): the algorithm's own names for them
constexpr int32_t LABEL_INIT = -1;  // not yet reached
constexpr int32_t LABEL_MASK = -2;  // at the current level, not yet assigned
// NOLINTEND(readability-identifier-naming)

// Extracts the channel into scratch.channel, sets order[i] = i, then sorts the order by value
// with std::sort. Equal values end in whatever order std::sort leaves them, which is not
// their order of position.
template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg,
                SampleRange range);

// The watershed by immersion, step by step: all labels LABEL_INIT, distances 0, boundary
// bytes 255; then for every level from the lowest value to the highest, marking, seeding
// (never on the image border), growth by distance with a marker in the queue, and new
// minima. Leaves labels 1..R and boundary bytes 0 or 255. Keeps its distances and queue to
// itself.
template <typename Sample>
void Watershed(ChannelScratch<Sample> scratch, int width, int height, bool c4);

// Every pixel becomes sum / weight over itself and its eight neighbours that lie inside the
// plane and carry its label: centre centreWeight + 2, orthogonal 2, diagonal 1.
template <typename Sample>
void SmoothSegments(PlaneView<Sample> dst, ChannelScratch<Sample> scratch,
                    SampleRange range, int centreWeight);

// Every pixel with boundary byte 0 becomes clamp((100 + sh) * src / 100, 0, maxValue).
template <typename Sample>
void AmplifyBoundaries(PlaneView<Sample> dst, SourcePlane<Sample> src,
                       ChannelScratch<Sample> scratch, SampleRange range, int sh);

// SmoothSegments with centre weight 10 - factor when factor > 0; then, when sh != 0, a copy
// of the source if factor is 0, and AmplifyBoundaries.
template <typename Sample>
void EnhanceChannel(PlaneView<Sample> dst, SourcePlane<Sample> src,
                    ChannelScratch<Sample> scratch, SampleRange range, int factor,
                    int sh);

// A whole channel pass with buffers of its own: the regions of seg, the values of src, into
// dst, as a filter with these settings computes the channel.
template <typename Sample>
void ChannelPass(PlaneView<Sample> dst, SourcePlane<Sample> src,
                 SourcePlane<Sample> seg, SampleRange range, int factor,
                 int sh, bool c4);

}  // namespace reference
