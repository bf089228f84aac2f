// Watershed segmentation by immersion (Vincent and Soille's queue-based flooding) of one
// packed channel, with three deliberate departures from the published method:
//   1. pixels on the image border are never seeds;
//   2. there is no watershed label: where two regions meet the pixel is flagged in the
//      boundary buffer and keeps a region label, so regions keep growing through it;
//   3. a flagged pixel is never unflagged.
#pragma once

#include "plane_view.h"

// Divides the width x height channel that SortPixels left in scratch.channel and
// scratch.order into regions. On return:
//   scratch.label[i]    region label 1..R, numbered in order of discovery (by ascending value
//                       of their minimum, then in the order's order);
//   scratch.boundary[i] 0 where two regions met, 255 elsewhere.
// scratch.pixelList and scratch.queue are its own scratch; it allocates nothing.
// Preconditions (the caller's, not tested): width, height >= 1; the order is SortPixels's
// for this channel; the buffers hold width * height entries, the queue one more.
template <typename Sample>
void Watershed(ChannelScratch<Sample> scratch, int width, int height, bool c4);
