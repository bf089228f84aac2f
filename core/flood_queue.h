// The first-in first-out queue of pixel indices that the watershed floods with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A ring of 32-bit entries that doubles when full. Entries taken out stay readable until
// Release, so a caller can revisit everything it took since then (the watershed settles the
// labels of one distance round that way).
class FloodQueue {
public:
    // Separates one distance from the next while growing; never a pixel index.
    static constexpr uint32_t kMarker = UINT32_MAX;

    FloodQueue() : slots_(new uint32_t[kInitialCapacity]), mask_(kInitialCapacity - 1) {}

    bool Empty() const { return head_ == tail_; }

    // Makes room for `count` more entries, so that PushIf needs no capacity test.
    void Reserve(size_t count) {
        while (tail_ - kept_ + count > mask_ + 1) Grow();
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

    // Calls visit on every entry still waiting, in order.
    template <typename Visit>
    void ForEachWaiting(Visit&& visit) const {
        for (size_t i = head_; i != tail_; ++i) visit(slots_[i & mask_]);
    }

    // Calls visit on every entry popped since the last Release, in order, then releases them.
    template <typename Visit>
    void Release(Visit&& visit) {
        for (; kept_ != head_; ++kept_) visit(slots_[kept_ & mask_]);
    }
    void Release() { kept_ = head_; }

private:
    static constexpr size_t kInitialCapacity = 1024;

    // Doubles the ring, unwrapping it; the old storage is freed only once the copy exists.
    void Grow() {
        const size_t capacity = (mask_ + 1) * 2;
        std::unique_ptr<uint32_t[]> bigger(new uint32_t[capacity]);
        const size_t count = tail_ - kept_;
        for (size_t i = 0; i < count; ++i) bigger[i] = slots_[(kept_ + i) & mask_];
        slots_ = std::move(bigger);
        mask_ = capacity - 1;
        head_ -= kept_;
        tail_ = count;
        kept_ = 0;
    }

    std::unique_ptr<uint32_t[]> slots_;
    size_t mask_;
    // Free-running counters, kept_ <= head_ <= tail_; a slot is the counter masked.
    size_t kept_ = 0;
    size_t head_ = 0;
    size_t tail_ = 0;
};
