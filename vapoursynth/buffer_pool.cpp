#include "buffer_pool.h"

#include <new>

namespace vsadapter {

BufferPool::Lease::~Lease() {
    if (set_) pool_->Return(std::move(set_));
}

BufferPool::BufferPool(int width, int height, const engine::SampleFormat& samples)
    : BufferPool([width, height, samples] {
          return std::make_unique<engine::WorkingBuffers>(width, height, samples);
      }) {}

BufferPool::BufferPool(SetMaker makeSet) : makeSet_(std::move(makeSet)) {
    idle_.push_back(makeSet_());
    created_ = 1;
}

BufferPool::Lease BufferPool::Acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (idle_.empty()) {
        // Tens of megabytes at 1080p: made outside the lock, so frames that already hold a set
        // are not kept waiting to give it back.
        lock.unlock();
        std::unique_ptr<engine::WorkingBuffers> set;
        try {
            set = makeSet_();
        } catch (const std::bad_alloc&) {
            // Taken back below: a set that is lent out will be returned.
        }
        lock.lock();
        if (set) {
            // Room for every set ever made, so that giving one back never allocates and
            // cannot fail.
            idle_.reserve(created_ + 1);
            ++created_;
            return Lease(*this, std::move(set));
        }
        // Every set that exists is lent to a frame being rendered, and each comes back when its
        // render ends; with none made, nothing ever would.
        if (created_ == 0) throw std::bad_alloc();
        returned_.wait(lock, [this] { return !idle_.empty(); });
    }
    std::unique_ptr<engine::WorkingBuffers> set = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(set));
}

size_t BufferPool::Created() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

void BufferPool::Return(std::unique_ptr<engine::WorkingBuffers> set) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        idle_.push_back(std::move(set));
    }
    returned_.notify_one();
}

}  // namespace vsadapter
