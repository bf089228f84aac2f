// The host's frames. Plug-ins only change reference counts; a frame whose count and whose
// buffer's count have both dropped to 0 is reused by the next allocation of its layout, or
// freed by the next allocation of another (or at the end).
#pragma once

#include <avisynth.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "frame_layout.h"
#include "large_memory.h"

namespace standin {

class FramePool {
public:
    FramePool();
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;
    // Frees every frame: all PVideoFrame handles must be gone by then.
    ~FramePool();

    // A new frame with no references yet (its buffer's count of 1 keeps it from being
    // reclaimed until the caller's first reference comes and goes). Every byte of its
    // memory, padding included, holds `fill` (or whatever it held). May throw std::bad_alloc.
    VideoFrame* Allocate(const FrameLayout& layout, std::optional<uint8_t> fill);

    // The layout a frame of this pool was made with; nullopt for foreign frames.
    std::optional<FrameLayout> LayoutOf(const VideoFrame* frame) const;

    size_t LiveCount() const;  // frames with at least one reference
    size_t HeldCount() const;  // frames not yet freed, kept ones included

private:
    struct Record;
    std::unique_ptr<Record> TakeUnused(const FrameLayout& layout);
    // Frees the unused frames of other layouts than `kept`; those of `kept` wait to be taken
    // again, never more of them than were once in use at the same time. Caller holds mutex_.
    void ReclaimUnused(const FrameLayout& kept);

    mutable std::mutex mutex_;
    std::unordered_map<const VideoFrame*, std::unique_ptr<Record>> frames_;
};

}  // namespace standin
