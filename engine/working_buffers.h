// The working buffers of one frame in flight, owned together and taken once for the life of a
// filter (or of a worker that renders frames). The core writes what it reads, so they start
// uninitialised and carry nothing from one channel to the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "large_memory.h"
#include "pixel_formats.h"
#include "plane_view.h"

namespace engine {

// Every index into the buffers is a signed 32-bit number, and the label buffer takes 4 bytes
// per pixel, so 4 x width x height must fit one.
bool WorkingBuffersFit(int width, int height);

// Bytes per pixel of the buffers for samples of this size: 18 for bytes, 19 for words, 21
// for floats (order, label, level list and queue 4 each, boundary 1, channel a sample).
size_t WorkingBytesPerPixel(const SampleFormat& samples);

class WorkingBuffers {
public:
    // Sized for a width x height channel of these samples, the largest a frame of that size
    // hands the core. Throws std::bad_alloc when the memory cannot be had.
    WorkingBuffers(int width, int height, const SampleFormat& samples);

    // The buffers as the core's kernels take them, for the samples they were made for.
    template <typename Sample>
    ChannelScratch<Sample> Scratch() const {
        return {reinterpret_cast<Sample*>(channel_), order_, label_, boundary_, pixelList_, queue_};
    }

    size_t Bytes() const { return block_.Size(); }

private:
    memory::LargeBlock block_;
    uint8_t* channel_;
    uint32_t* order_;
    int32_t* label_;
    uint8_t* boundary_;
    uint32_t* pixelList_;
    uint32_t* queue_;
};

}  // namespace engine
