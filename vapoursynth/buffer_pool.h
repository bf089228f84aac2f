// Working-buffer sets for a filter whose frames are rendered on several threads at once. Each
// frame in flight borrows one set for the length of its render and gives it back; a set is
// made only when every existing one is lent out, so there are never more sets than frames
// rendered at the same time, which the host bounds by its worker threads. When the memory for
// another set cannot be had, a frame waits for a lent one to come back instead of failing: the
// frames then take turns, as with fewer threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
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

    // Makes one set; throws std::bad_alloc when the memory cannot be had.
    using SetMaker = std::function<std::unique_ptr<engine::WorkingBuffers>()>;

    // Sets for frames of width x height of these samples. Makes the first set at once, so that
    // a frame size the memory cannot hold is refused when the filter is created rather than at
    // its first frame. Throws std::bad_alloc.
    BufferPool(int width, int height, const engine::SampleFormat& samples);
    // Sets made by makeSet (which tests use to run out of memory on purpose).
    explicit BufferPool(SetMaker makeSet);

    // An idle set; a new one when all are lent out; when that cannot be made, the first set
    // given back. Throws std::bad_alloc only if no set could ever come back, which the first
    // set, made with the pool, rules out.
    Lease Acquire();

    // Sets made so far: the most frames that were ever rendered at the same time.
    size_t Created() const;

private:
    void Return(std::unique_ptr<engine::WorkingBuffers> set);

    const SetMaker makeSet_;
    mutable std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<engine::WorkingBuffers>> idle_;
    size_t created_ = 0;
};

}  // namespace vsadapter
