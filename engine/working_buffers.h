// The working buffers of one frame in flight, owned together and taken once for the life of a
// filter (or of a worker that renders frames). The core writes what it reads, so they start
// uninitialised and carry nothing from one channel to the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "large_memory.h"
#include "plane_view.h"

namespace engine {

// Every index into the buffers is a signed 32-bit number, and the label buffer takes 4 bytes
// per pixel, so 4 x width x height must fit one.
bool WorkingBuffersFit(int width, int height);

class WorkingBuffers {
public:
    // Sized for a width x height channel, the largest a frame of that size hands the core.
    // Throws std::bad_alloc when the memory cannot be had.
    WorkingBuffers(int width, int height);

    // The buffers as the core's kernels take them.
    ChannelScratch<uint8_t> Scratch() const;

    size_t Bytes() const { return block_.size(); }

private:
    memory::LargeBlock block_;
    ChannelScratch<uint8_t> scratch_;
};

}  // namespace engine
