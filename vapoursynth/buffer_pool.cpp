#include "buffer_pool.h"

namespace vsadapter {

BufferPool::Lease::~Lease() {
    if (set_) pool_->Return(std::move(set_));
}

BufferPool::BufferPool(int width, int height, const engine::SampleFormat& samples)
    : width_(width), height_(height), samples_(samples) {
    idle_.push_back(std::make_unique<engine::WorkingBuffers>(width, height, samples));
    created_ = 1;
}

BufferPool::Lease BufferPool::Acquire() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<engine::WorkingBuffers> set = std::move(idle_.back());
            idle_.pop_back();
            return Lease(*this, std::move(set));
        }
    }
    // Tens of megabytes at 1080p: made outside the lock, so frames that already hold a set
    // are not kept waiting to give it back.
    auto set = std::make_unique<engine::WorkingBuffers>(width_, height_, samples_);
    std::lock_guard<std::mutex> lock(mutex_);
    // Room for every set ever made, so that giving one back never allocates and cannot fail.
    idle_.reserve(created_ + 1);
    ++created_;
    return Lease(*this, std::move(set));
}

size_t BufferPool::Created() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

void BufferPool::Return(std::unique_ptr<engine::WorkingBuffers> set) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(set));
}

}  // namespace vsadapter
