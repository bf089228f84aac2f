// The five working buffers of one frame in flight, owned together. The core fills what it reads
// before reading it, so they start uninitialised and carry nothing from one channel to the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "large_memory.h"

#include "channel_plane.h"

namespace engine {

// The label and distance buffers take 4 bytes per pixel, and every index into them is a
// signed 32-bit number, so 4 x width x height must fit one.
bool WorkingBuffersFit(int width, int height);

class WorkingBuffers {
public:
    // Sized for a width x height channel, the largest a frame of that size hands the core.
    // Throws std::bad_alloc when the memory cannot be had.
    WorkingBuffers(int width, int height);

    // channelBuf: the channel being processed, one byte per pixel, rows without gaps.
    uint8_t* channel() const { return channel_; }
    // orderBuf: one reference into channelBuf per pixel, ascending by value after sorting.
    PixelRef* order() const { return order_; }
    // labelBuf: region label per pixel.
    int32_t* label() const { return label_; }
    // distBuf: the watershed's scratch, all zero between calls.
    int32_t* dist() const { return dist_; }
    // boundaryBuf: 0 at region boundaries, 255 elsewhere.
    uint8_t* boundary() const { return boundary_; }

    size_t Bytes() const { return block_.size(); }

private:
    memory::LargeBlock block_;
    int32_t* dist_;
    uint8_t* boundary_;
    PixelRef* order_;
    int32_t* label_;
    uint8_t* channel_;
};

}  // namespace engine
