// One eight-bit channel of a frame, as the core sees it: plain memory, no host types.
//
// Sample (y, x) of a channel lies at base + y * pitch + x * step. The step is the byte
// distance between horizontally adjacent samples: 3 or 4 for a colour channel of packed
// BGR, 2 for the luma and 4 for the chroma samples of packed 4:2:2, 1 for a planar plane.
#pragma once

#include <cstdint>

// A reference to one byte of channelBuf. orderBuf holds one per pixel; the pixel it stands
// for is the byte's distance from the start of channelBuf.
using PixelRef = const uint8_t*;

struct ChannelPlane {
    uint8_t* base;  // first sample of the channel (frame or plane start plus channel offset)
    int pitch;      // bytes from one row to the next
    int step;       // bytes from one sample to the next within a row
    int width;      // samples per row
    int height;     // rows
};
