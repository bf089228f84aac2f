#include "frame_pool.h"

#include <cstring>

namespace standin {

struct FramePool::Record {
    FrameLayout layout{};
    memory::LargeBlock memory;
    VideoFrameBuffer buffer{};
    std::optional<VideoFrame> frame;  // built after the buffer, which it counts

    bool Unused() const {
        return frame->RefCount() == 0 && avs_detail::AtomicLoad(&buffer.refcount) == 0;
    }
};

FramePool::FramePool() = default;
FramePool::~FramePool() = default;

namespace {

bool SameLayout(const FrameLayout& a, const FrameLayout& b) {
    return a.dataSize == b.dataSize && a.align == b.align && a.pitch == b.pitch &&
           a.rowSize == b.rowSize && a.height == b.height && a.offsetU == b.offsetU &&
           a.offsetV == b.offsetV && a.pitchUV == b.pitchUV;
}

}  // namespace

VideoFrame* FramePool::Allocate(const FrameLayout& layout, std::optional<uint8_t> fill) {
    // A frame of the same layout that nobody holds any more is taken again, as a real host
    // recycles its frames: a video then touches new memory only for its first frames.
    std::unique_ptr<Record> record = TakeUnused(layout);
    if (!record) {
        record = std::make_unique<Record>();
        record->layout = layout;
        // Slack for moving the first row onto its boundary; the layout checked that it fits int.
        record->memory = memory::LargeBlock(static_cast<size_t>(layout.dataSize) +
                                            static_cast<size_t>(layout.align) - 1);
    }
    if (fill) std::memset(record->memory.Data(), *fill, record->memory.Size());

    const auto address = reinterpret_cast<uintptr_t>(record->memory.Data());
    const auto misalignment = static_cast<int>(address % static_cast<uintptr_t>(layout.align));
    const int offset = misalignment ? layout.align - misalignment : 0;

    record->frame.reset();
    record->buffer = VideoFrameBuffer{};
    record->buffer.data = record->memory.Data();
    record->buffer.data_size = static_cast<int>(record->memory.Size());
    const bool planar = layout.pitchUV != 0;
    record->frame.emplace(&record->buffer, offset, layout.pitch, layout.rowSize, layout.height,
                          offset + (planar ? layout.offsetU : 0),
                          offset + (planar ? layout.offsetV : 0), layout.pitchUV);

    VideoFrame* frame = &*record->frame;
    std::lock_guard<std::mutex> lock(mutex_);
    ReclaimUnused(layout);
    frames_.emplace(frame, std::move(record));
    return frame;
}

std::unique_ptr<FramePool::Record> FramePool::TakeUnused(const FrameLayout& layout) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
        if (!it->second->Unused() || !SameLayout(it->second->layout, layout)) continue;
        std::unique_ptr<Record> record = std::move(it->second);
        frames_.erase(it);
        return record;
    }
    return nullptr;
}

void FramePool::ReclaimUnused(const FrameLayout& kept) {
    for (auto it = frames_.begin(); it != frames_.end();) {
        if (it->second->Unused() && !SameLayout(it->second->layout, kept))
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
