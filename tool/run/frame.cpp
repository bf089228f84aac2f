#include "frame.h"

namespace cli {

namespace {

constexpr ptrdiff_t kRowAlignment = 64;  // as hosts align rows: a cache line each

}  // namespace

Frame::Frame(const engine::VideoFormat& format, int width, int height)
    : format_(format), width_(width), height_(height) {
    const engine::PixelFormat& pixels = *format.pixels;
    size_t total = 0;
    for (int p = 0; p < engine::PlaneCount(pixels); ++p) {
        const int rowBytes = engine::PlaneWidth(pixels, p, width) * format.samples.Bytes();
        const ptrdiff_t pitch = (rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        const int rows = engine::PlaneHeight(pixels, p, height);
        planes_.push_back({nullptr, pitch, rowBytes, rows});
        total += static_cast<size_t>(pitch) * static_cast<size_t>(rows);
    }
    block_ = memory::LargeBlock(total);
    uint8_t* at = block_.Data();
    for (FramePlane& plane : planes_) {
        plane.data = at;
        at += plane.pitch * plane.rows;
    }
}

Frame::Frame(const engine::VideoFormat& format, int width, int height, uint8_t* data,
             ptrdiff_t pitch)
    : format_(format), width_(width), height_(height) {
    planes_.push_back(
        {data, pitch, engine::PlaneWidth(*format.pixels, 0, width) * format.samples.Bytes(), height});
}

engine::FrameRefs FrameRefsOf(Frame& dst, const Frame& src, const Frame& seg) {
    engine::FrameRefs refs{};
    for (int p = 0; p < dst.PlaneCount(); ++p) {
        refs.dst[p] = {dst.Plane(p).data, dst.Plane(p).pitch};
        refs.src[p] = {src.Plane(p).data, src.Plane(p).pitch};
        refs.seg[p] = {seg.Plane(p).data, seg.Plane(p).pitch};
    }
    return refs;
}

FramePtr FramePool::Acquire() {
    std::unique_ptr<Frame> frame;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!free_.empty()) {
            frame = std::move(free_.back());
            free_.pop_back();
        }
    }
    if (!frame) {
        frame = std::make_unique<Frame>(format_, width_, height_);
        // Room for every frame ever made, so that taking one back never allocates.
        std::lock_guard<std::mutex> lock(mutex_);
        free_.reserve(++created_);
    }
    std::shared_ptr<FramePool> pool = shared_from_this();
    // Should the owner itself not be had, shared_ptr hands the frame to the deleter.
    return FramePtr(frame.release(), [pool](Frame* f) { pool->Release(f); });
}

void FramePool::Release(Frame* frame) {
    std::unique_ptr<Frame> owned(frame);
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(owned));
}

}  // namespace cli
