// Ordering the pixels of one channel by value, the input of the watershed.
#pragma once

#include <cstdint>

#include "channel_plane.h"

// Extracts the channel (src, srcPitch, step, width, height) into channelBuf with row length
// rowLength (always width), then fills orderBuf[0 .. width*height-1] with one reference per
// pixel, ascending by unsigned value.
//
// Ties are broken by position (row-major): a counting sort over the 256 values is linear,
// needs no comparison and gives the same order on every compiler and library. The order of
// equal values never changes an output value of the filter; it only fixes the numbering of
// regions that the watershed discovers at the same level.
//
// Preconditions (the caller's, not tested): width, height >= 1; channelBuf holds
// rowLength * height bytes, orderBuf width * height entries.
void SortPixels(uint8_t* channelBuf, int rowLength, const uint8_t* src, int srcPitch, int step,
                int width, int height, PixelRef* orderBuf);
