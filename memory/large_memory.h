// Memory for what a frame server moves in bulk: frames, pictures, working buffers. Every byte
// of such a block is written before it is read, and a 1080p frame's worth of 4 KiB pages
// costs thousands of first-touch page faults, each dear on virtual machines: large blocks are
// aligned to, and advised for, transparent huge pages where the system offers them, and are
// left uninitialised.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace memory {

// At least `bytes` bytes, aligned to 64 (huge-page aligned from 2 MiB up), uninitialised.
// Throws std::bad_alloc. Release with ReleaseLarge and the same size.
void* AllocateLarge(std::size_t bytes);
void ReleaseLarge(void* block, std::size_t bytes) noexcept;

// A standard allocator over AllocateLarge whose elements start uninitialised (a resize that
// is then overwritten costs no fill). Its members have the names the standard requires.
// NOLINTBEGIN(readability-identifier-naming)
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(AllocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { ReleaseLarge(p, n * sizeof(T)); }

    // Default-initialisation: no value for bytes that are written next anyway.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
    friend bool operator!=(const LargeAllocator&, const LargeAllocator&) { return false; }
};
// NOLINTEND(readability-identifier-naming)

// One block owned: its bytes and size.
class LargeBlock {
public:
    LargeBlock() = default;
    explicit LargeBlock(std::size_t bytes) : block_(AllocateLarge(bytes)), bytes_(bytes) {}
    LargeBlock(LargeBlock&& other) noexcept : block_(other.block_), bytes_(other.bytes_) {
        other.block_ = nullptr;
        other.bytes_ = 0;
    }
    LargeBlock& operator=(LargeBlock&& other) noexcept {
        std::swap(block_, other.block_);
        std::swap(bytes_, other.bytes_);
        return *this;
    }
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;
    ~LargeBlock() {
        if (block_) ReleaseLarge(block_, bytes_);
    }

    unsigned char* Data() const { return static_cast<unsigned char*>(block_); }
    std::size_t Size() const { return bytes_; }

private:
    void* block_ = nullptr;
    std::size_t bytes_ = 0;
};

}  // namespace memory
