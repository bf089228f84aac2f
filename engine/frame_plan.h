// The plan of one frame of a pixel format: which channel of which plane is segmented and
// smoothed with which factor, in which order, and what is copied unchanged.
#pragma once

#include <array>
#include <cstddef>

#include "pixel_formats.h"
#include "plane_view.h"

namespace engine {

struct FilterSettings;

enum class FactorOf { Sm, Smu, Smv, None };

// One channel of a frame: `width` x `height` samples of plane `plane`, starting `offset`
// samples into each row, `step` samples apart.
struct ChannelStep {
    int plane;
    int offset;
    int step;
    int width;
    int height;
    FactorOf factor;  // None: never processed (alpha)
    bool wholePlane;  // when not processed, copied as a whole plane (the host's own copy)
};

// The steps of one frame, in the order they run: blue, green, red, alpha for packed BGR;
// Y, U, V (alpha) for YUV; each plane in turn for planar RGB.
class FramePlan {
public:
    static constexpr int kMaxSteps = 4;

    // The settings' factors are taken as they are: a plan of settings that FirstFailedCheck
    // refuses may process nothing.
    FramePlan(const VideoFormat& format, int width, int height, const FilterSettings& settings);

    int StepCount() const { return count_; }
    const ChannelStep& Step(int i) const { return steps_[static_cast<size_t>(i)]; }
    // Whether a channel step runs a channel pass; otherwise it is copied unchanged.
    bool Processed(const ChannelStep& step) const;
    int FactorFor(const ChannelStep& step) const;
    // The values the channel's samples take (float chroma is centred on 0).
    SampleRange RangeFor(const ChannelStep& step) const;
    // Whether any channel of a plane is processed: a plane that is not may be shared with the
    // source frame instead of copied, where the host allows.
    bool PlaneProcessed(int plane) const;
    // Whether the plan changes anything at all.
    bool ProcessesAnything() const;

    const VideoFormat& Format() const { return format_; }
    const PixelFormat& Pixels() const { return *format_.pixels; }
    const SampleFormat& Samples() const { return format_.samples; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Sh() const { return sh_; }
    bool C4() const { return c4_; }
    bool Useclip() const { return useclip_; }

private:
    void Add(const ChannelStep& step) { steps_[static_cast<size_t>(count_++)] = step; }

    VideoFormat format_;
    int width_;
    int height_;
    int sh_, sm_, smu_, smv_;
    bool c4_, useclip_;
    std::array<ChannelStep, kMaxSteps> steps_{};
    int count_ = 0;
};

}  // namespace engine
