// Ordering the pixels of one channel by value, the input of the watershed.
#pragma once

#include "plane_view.h"

// Extracts the segmentation frame's channel into scratch.channel, then fills
// scratch.order[0 .. width * height - 1] with every pixel index once, ascending by value.
//
// Ties are broken by position (row-major): a counting sort over the 256 values is linear,
// needs no comparison and gives the same order on every compiler and library. The order of
// equal values never changes an output value of the filter; it only fixes the numbering of
// regions that the watershed discovers at the same level.
//
// Preconditions (the caller's, not tested): width, height >= 1; the scratch holds
// width * height entries.
template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg,
                SampleRange range);

extern template void SortPixels(ChannelScratch<uint8_t>, PlaneView<const uint8_t>,
                                SampleRange);
