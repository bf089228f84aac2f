// A frame as the tool holds it: the planes of one frame of an engine format, in one block of
// memory, and a pool that hands out frames of one shape and takes them back, as a host reuses
// released frames (a new frame's pages would each fault on first touch).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "frame_render.h"
#include "large_memory.h"
#include "pixel_formats.h"

namespace cli {

struct FramePlane {
    uint8_t* data;
    ptrdiff_t pitch;  // bytes; a multiple of 64 in a frame's own memory
    int rowBytes;     // the bytes of a row that hold samples
    int rows;
};

class Frame {
public:
    // Uninitialised planes for a width x height frame of the format. Throws std::bad_alloc.
    Frame(const engine::VideoFormat& format, int width, int height);
    // A frame of a format with one plane over memory it does not own: row y at data + y *
    // pitch (pitch may be negative), for the engine to read or write a picture where it lies.
    Frame(const engine::VideoFormat& format, int width, int height, uint8_t* data,
          ptrdiff_t pitch);

    const engine::VideoFormat& Format() const { return format_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int PlaneCount() const { return static_cast<int>(planes_.size()); }
    const FramePlane& Plane(int p) const { return planes_[static_cast<size_t>(p)]; }

private:
    engine::VideoFormat format_;
    int width_, height_;
    memory::LargeBlock block_;
    std::vector<FramePlane> planes_;
};

// The planes of the three frames of one filtering call, as the engine takes them.
engine::FrameRefs FrameRefsOf(Frame& dst, const Frame& src, const Frame& seg);

using FramePtr = std::shared_ptr<Frame>;

// Frames of one format and size. A frame given out returns to the pool when its last owner
// lets it go, so the pool must outlive them. Thread-safe.
class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    FramePool(const engine::VideoFormat& format, int width, int height)
        : format_(format), width_(width), height_(height) {}

    // A released frame, or a new one (std::bad_alloc when that fails).
    FramePtr Acquire();

private:
    void Release(Frame* frame);

    const engine::VideoFormat format_;
    const int width_, height_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Frame>> free_;
    size_t created_ = 0;
};

}  // namespace cli
