#include "working_buffers.h"

#include <new>

namespace engine {

namespace {

constexpr size_t kCacheLine = 64;

size_t RoundUp(size_t bytes, size_t multiple) { return (bytes + multiple - 1) / multiple * multiple; }

}  // namespace

bool WorkingBuffersFit(int width, int height) {
    if (width < 1 || height < 1) return false;
    return int64_t{width} * height <= INT32_MAX / 4;
}

WorkingBuffers::WorkingBuffers(int width, int height) {
    if (!WorkingBuffersFit(width, height)) throw std::bad_alloc();
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    // One block, each buffer on its own cache lines, the widest entries first.
    const size_t distAt = 0;
    const size_t orderAt = distAt + RoundUp(n * sizeof(int32_t), kCacheLine);
    const size_t labelAt = orderAt + RoundUp(n * sizeof(PixelRef), kCacheLine);
    const size_t boundaryAt = labelAt + RoundUp(n * sizeof(int32_t), kCacheLine);
    const size_t channelAt = boundaryAt + RoundUp(n, kCacheLine);
    const size_t bytes = RoundUp(channelAt + n, kCacheLine);

    // The buffers are first touched by the first frame; huge pages make that cheap.
    block_ = memory::LargeBlock(bytes);
    uint8_t* block = block_.data();
    dist_ = reinterpret_cast<int32_t*>(block + distAt);
    order_ = reinterpret_cast<PixelRef*>(block + orderAt);
    label_ = reinterpret_cast<int32_t*>(block + labelAt);
    boundary_ = block + boundaryAt;
    channel_ = block + channelAt;
}

}  // namespace engine
