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

// What a set holds: every buffer of a channel pass (Whole); only those that a segmented
// channel keeps for its finish, its values, labels and boundaries (Regions: 6 bytes per pixel
// at 8 bits); or only those that ordering and flooding use and leave (Flooding: 12 bytes).
// A thread that segments several channels in turn, each finished later, needs one Flooding
// set and a Regions set per channel (see ScratchFloodingIn).
enum class BufferParts { Whole, Regions, Flooding };

class WorkingBuffers {
public:
    // Sized for a width x height channel of these samples, the largest a frame of that size
    // hands the core. Throws std::bad_alloc when the memory cannot be had.
    WorkingBuffers(int width, int height, const SampleFormat& samples,
                   BufferParts parts = BufferParts::Whole);

    // The buffers as the core's kernels take them, for the samples they were made for. Those
    // of a Regions set serve a finish only.
    template <typename Sample>
    ChannelScratch<Sample> Scratch() const {
        return ScratchFloodingIn<Sample>(*this);
    }
    // This set's values, labels and boundaries with the ordering and flooding buffers of
    // `flooding`, a Whole or Flooding set of the same size and samples.
    template <typename Sample>
    ChannelScratch<Sample> ScratchFloodingIn(const WorkingBuffers& flooding) const {
        return {reinterpret_cast<Sample*>(channel_), flooding.order_, label_, boundary_,
                flooding.pixelList_, flooding.queue_};
    }

    size_t Bytes() const { return block_.Size(); }

private:
    memory::LargeBlock block_;
    uint8_t* channel_ = nullptr;
    uint32_t* order_ = nullptr;
    int32_t* label_ = nullptr;
    uint8_t* boundary_ = nullptr;
    uint32_t* pixelList_ = nullptr;
    uint32_t* queue_ = nullptr;
};

}  // namespace engine
