#include "frame_pool.h"

#include <cstring>

namespace standin {

struct FramePool::Record {
    FrameLayout layout{};
    std::unique_ptr<uint8_t[]> memory;
    VideoFrameBuffer buffer{};
    std::optional<VideoFrame> frame;  // built after the buffer, which it counts

    bool Unused() const {
        return frame->RefCount() == 0 && avs_detail::AtomicLoad(&buffer.refcount) == 0;
    }
};

FramePool::FramePool() = default;
FramePool::~FramePool() = default;

VideoFrame* FramePool::Allocate(const FrameLayout& layout, uint8_t fill) {
    auto record = std::make_unique<Record>();
    record->layout = layout;
    // Slack for moving the first row onto its boundary; the layout checked that it fits int.
    const size_t size = static_cast<size_t>(layout.dataSize) + static_cast<size_t>(layout.align) - 1;
    record->memory.reset(new uint8_t[size]);
    std::memset(record->memory.get(), fill, size);

    const auto address = reinterpret_cast<uintptr_t>(record->memory.get());
    const auto misalignment = static_cast<int>(address % static_cast<uintptr_t>(layout.align));
    const int offset = misalignment ? layout.align - misalignment : 0;

    record->buffer.data = record->memory.get();
    record->buffer.data_size = static_cast<int>(size);
    const bool planar = layout.pitchUV != 0;
    record->frame.emplace(&record->buffer, offset, layout.pitch, layout.rowSize, layout.height,
                          offset + (planar ? layout.offsetU : 0),
                          offset + (planar ? layout.offsetV : 0), layout.pitchUV);

    VideoFrame* frame = &*record->frame;
    std::lock_guard<std::mutex> lock(mutex_);
    ReclaimUnused();
    frames_.emplace(frame, std::move(record));
    return frame;
}

void FramePool::ReclaimUnused() {
    for (auto it = frames_.begin(); it != frames_.end();) {
        if (it->second->Unused())
            it = frames_.erase(it);
        else
            ++it;
    }
}

std::optional<FrameLayout> FramePool::LayoutOf(const VideoFrame* frame) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = frames_.find(frame);
    if (it == frames_.end()) return std::nullopt;
    return it->second->layout;
}

size_t FramePool::LiveCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t live = 0;
    for (const auto& entry : frames_)
        if (entry.second->frame->RefCount() > 0) ++live;
    return live;
}

size_t FramePool::HeldCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
}

}  // namespace standin
