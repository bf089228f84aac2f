#include "large_memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace memory {

namespace {

constexpr std::size_t kCacheLine = 64;
// Transparent huge pages come in 2 MiB; a block aligned to them can be backed by them whole.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t AlignmentFor(std::size_t bytes) { return bytes >= kHugePage ? kHugePage : kCacheLine; }

// A large block takes whole huge pages: a partial last one would be backed by small pages,
// a fault for every 4 KiB of it.
std::size_t Reserved(std::size_t bytes) {
    if (bytes == 0) return 1;
    return bytes >= kHugePage ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
}

}  // namespace

void* AllocateLarge(std::size_t bytes) {
    if (bytes > static_cast<std::size_t>(-1) - kHugePage) throw std::bad_alloc();
    bytes = Reserved(bytes);
    void* block = ::operator new(bytes, std::align_val_t{AlignmentFor(bytes)});
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Advice only: where the system offers no huge pages nothing changes.
    if (bytes >= kHugePage) madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void ReleaseLarge(void* block, std::size_t bytes) noexcept {
    bytes = Reserved(bytes);
    ::operator delete(block, std::align_val_t{AlignmentFor(bytes)});
}

}  // namespace memory
