// Watershed segmentation by immersion (Vincent and Soille's queue-based flooding) of one
// packed eight-bit channel, with three deliberate departures from the published method:
//   1. pixels on the image border are never seeds;
//   2. there is no watershed label: where two regions meet the pixel is flagged in
//      boundaryBuf and keeps a region label, so regions keep growing through it;
//   3. a flagged pixel is never unflagged.
#pragma once

#include <cstdint>

#include "channel_plane.h"

// Labels that exist only while Watershed runs; at return every pixel has a region label >= 1.
constexpr int32_t LABEL_INIT = -1;  // not yet reached
constexpr int32_t LABEL_MASK = -2;  // at the current level, not yet assigned

// Divides the channel into regions. On return:
//   labelBuf[i]    region label 1..R, numbered in order of discovery;
//   distBuf[i]     0 (scratch while running);
//   boundaryBuf[i] 0 where two regions met, 255 elsewhere.
// Preconditions (the caller's, not tested): width, height >= 1; orderBuf as SortPixels
// leaves it for this channelBuf; the other buffers hold width * height entries.
//
// The only allocation is the flooding queue, taken and released within the call. If its
// storage cannot be obtained, std::bad_alloc propagates; the caller's buffers then hold
// unspecified values, but nothing outside them is touched and nothing leaks.
void Watershed(const PixelRef* orderBuf, const uint8_t* channelBuf, int32_t* labelBuf,
               int32_t* distBuf, uint8_t* boundaryBuf, int height, int width, bool c4);
