// Working-buffer sets for a filter whose frames are rendered on several threads at once. Each
// frame in flight borrows one set for the length of its render and gives it back; a set is
// made only when every existing one is lent out, so there are never more sets than frames
// rendered at the same time, which the host bounds by its worker threads.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "working_buffers.h"

namespace vsadapter {

class BufferPool {
public:
    // A set lent to one frame; it goes back to the pool when the lease ends.
    class Lease {
    public:
        Lease(BufferPool& pool, std::unique_ptr<engine::WorkingBuffers> set)
            : pool_(&pool), set_(std::move(set)) {}
        Lease(Lease&&) = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        engine::WorkingBuffers& operator*() const { return *set_; }

    private:
        BufferPool* pool_;
        std::unique_ptr<engine::WorkingBuffers> set_;
    };

    // Makes the first set at once, so that a frame size the memory cannot hold is refused when
    // the filter is created rather than at its first frame. Throws std::bad_alloc.
    BufferPool(int width, int height, const engine::SampleFormat& samples);

    // An idle set, or a new one when all are lent out (std::bad_alloc when that fails).
    Lease Acquire();

    // Sets made so far: the most frames that were ever rendered at the same time.
    size_t Created() const;

private:
    void Return(std::unique_ptr<engine::WorkingBuffers> set);

    const int width_;
    const int height_;
    const engine::SampleFormat samples_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<engine::WorkingBuffers>> idle_;
    size_t created_ = 0;
};

}  // namespace vsadapter
