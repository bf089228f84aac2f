#include "working_buffers.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace engine {

namespace {

constexpr size_t kCacheLine = 64;
// Transparent huge pages come in 2 MiB; a block aligned to them can be backed by them whole.
constexpr size_t kHugePage = size_t{2} << 20;

size_t RoundUp(size_t bytes, size_t multiple) { return (bytes + multiple - 1) / multiple * multiple; }

size_t AlignmentFor(size_t bytes) { return bytes >= kHugePage ? kHugePage : kCacheLine; }

}  // namespace

bool WorkingBuffersFit(int width, int height) {
    if (width < 1 || height < 1) return false;
    return int64_t{width} * height <= INT32_MAX / 4;
}

void WorkingBuffers::Release::operator()(uint8_t* block) const {
    ::operator delete(block, std::align_val_t{AlignmentFor(bytes)});
}

WorkingBuffers::WorkingBuffers(int width, int height) : bytes_(0), block_(nullptr, Release{0}) {
    if (!WorkingBuffersFit(width, height)) throw std::bad_alloc();
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    // One block, each buffer on its own cache lines, the widest entries first.
    const size_t distAt = 0;
    const size_t orderAt = distAt + RoundUp(n * sizeof(int32_t), kCacheLine);
    const size_t labelAt = orderAt + RoundUp(n * sizeof(PixelRef), kCacheLine);
    const size_t boundaryAt = labelAt + RoundUp(n * sizeof(int32_t), kCacheLine);
    const size_t channelAt = boundaryAt + RoundUp(n, kCacheLine);
    const size_t bytes = RoundUp(channelAt + n, kCacheLine);

    uint8_t* block = static_cast<uint8_t*>(::operator new(bytes, std::align_val_t{AlignmentFor(bytes)}));
    block_ = std::unique_ptr<uint8_t, Release>(block, Release{bytes});
    bytes_ = bytes;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // The buffers are first touched by the first frame, a page fault per 4 KiB page otherwise:
    // on virtual machines that costs as much as a whole channel pass. Advice only; where the
    // system offers no huge pages nothing changes.
    if (bytes >= kHugePage) madvise(block, bytes, MADV_HUGEPAGE);
#endif
    dist_ = reinterpret_cast<int32_t*>(block + distAt);
    order_ = reinterpret_cast<PixelRef*>(block + orderAt);
    label_ = reinterpret_cast<int32_t*>(block + labelAt);
    boundary_ = block + boundaryAt;
    channel_ = block + channelAt;
}

}  // namespace engine
