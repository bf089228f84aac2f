// The first-in first-out queue of pixel indices that the watershed floods with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A ring of 32-bit entries that doubles when full.
class FloodQueue {
public:
    // Separates one distance from the next while growing; never a pixel index.
    static constexpr uint32_t kMarker = UINT32_MAX;

    FloodQueue() : slots_(new uint32_t[kInitialCapacity]), mask_(kInitialCapacity - 1) {}

    bool Empty() const { return head_ == tail_; }
    size_t Size() const { return tail_ - head_; }

    // Makes room for `count` more entries, so that PushIf needs no capacity test.
    void Reserve(size_t count) {
        while (tail_ - head_ + count > mask_ + 1) Grow();
    }

    void Push(uint32_t entry) {
        Reserve(1);
        slots_[tail_++ & mask_] = entry;
    }

    // Appends entry when `really` holds, without a branch; needs room from Reserve.
    void PushIf(uint32_t entry, bool really) {
        slots_[tail_ & mask_] = entry;
        tail_ += really;
    }

    uint32_t Pop() { return slots_[head_++ & mask_]; }

private:
    static constexpr size_t kInitialCapacity = 1024;

    // Doubles the ring, unwrapping it; the old storage is freed only once the copy exists.
    void Grow() {
        const size_t capacity = (mask_ + 1) * 2;
        std::unique_ptr<uint32_t[]> bigger(new uint32_t[capacity]);
        const size_t count = tail_ - head_;
        for (size_t i = 0; i < count; ++i) bigger[i] = slots_[(head_ + i) & mask_];
        slots_ = std::move(bigger);
        mask_ = capacity - 1;
        head_ = 0;
        tail_ = count;
    }

    std::unique_ptr<uint32_t[]> slots_;
    size_t mask_;
    // Free-running counters, head_ <= tail_; a slot is the counter masked.
    size_t head_ = 0;
    size_t tail_ = 0;
};
