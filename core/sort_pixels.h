// Ordering the pixels of one channel by value, the input of the watershed.
#pragma once

#include "plane_view.h"

// Extracts the segmentation frame's channel into scratch.channel, then fills
// scratch.order[0 .. width * height - 1] with every pixel index once, ascending by value.
//
// Ties are broken by position (row-major): a counting sort over the 256 values of a byte, a
// radix sort of wider values a byte at a time, is linear, needs no comparison and gives the
// same order on every compiler and library. Equal float values (after ExtractChannel) are
// one value. The order of equal values never changes an output value of the filter; it only
// fixes the numbering of regions that the watershed discovers at the same level.
//
// Wider samples use the label buffer and the queue for their keys on the way: the watershed
// writes both before it reads them.
//
// Preconditions (the caller's, not tested): width, height >= 1; the scratch holds
// width * height entries.
template <typename Sample>
void SortPixels(ChannelScratch<Sample> scratch, SourcePlane<Sample> seg,
                SampleRange range);
