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

size_t WorkingBytesPerPixel(const SampleFormat& samples) {
    return 4 * sizeof(uint32_t) + 1 + static_cast<size_t>(samples.Bytes());
}

WorkingBuffers::WorkingBuffers(int width, int height, const SampleFormat& samples,
                               BufferParts parts) {
    if (!WorkingBuffersFit(width, height)) throw std::bad_alloc();
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    const bool regions = parts != BufferParts::Flooding, flooding = parts != BufferParts::Regions;
    // One block, each buffer on its own cache lines, the widest entries first. The queue has
    // one entry to spare: the watershed appends without a branch, and its last append may go
    // one past the pixels it queues.
    const auto size = [&](bool present, size_t entries, size_t entryBytes) {
        return present ? RoundUp(entries * entryBytes, kCacheLine) : 0;
    };
    const size_t labelAt = 0;
    const size_t orderAt = labelAt + size(regions, n, sizeof(int32_t));
    const size_t listAt = orderAt + size(flooding, n, sizeof(uint32_t));
    const size_t queueAt = listAt + size(flooding, n, sizeof(uint32_t));
    const size_t channelAt = queueAt + size(flooding, n + 1, sizeof(uint32_t));
    const size_t boundaryAt = channelAt + size(regions, n, static_cast<size_t>(samples.Bytes()));
    const size_t bytes = boundaryAt + size(regions, n, 1);

    // The buffers are first touched by the first frame; huge pages make that cheap.
    block_ = memory::LargeBlock(bytes);
    uint8_t* block = block_.Data();
    if (regions) {
        label_ = reinterpret_cast<int32_t*>(block + labelAt);
        channel_ = block + channelAt;
        boundary_ = block + boundaryAt;
    }
    if (flooding) {
        order_ = reinterpret_cast<uint32_t*>(block + orderAt);
        pixelList_ = reinterpret_cast<uint32_t*>(block + listAt);
        queue_ = reinterpret_cast<uint32_t*>(block + queueAt);
    }
}

}  // namespace engine
