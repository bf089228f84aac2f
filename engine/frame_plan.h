// The pixel formats the filter takes and, for each, the plan of one frame: which channel of
// which plane is segmented and smoothed with which factor, in which order, and what is copied
// unchanged. Host adapters map their own formats onto these and hand over plane pointers in
// the plane order given here; the plan itself knows no host.
#pragma once

#include <array>
#include <cstddef>

namespace engine {

struct FilterSettings;

enum class Layout {
    PackedBgr,   // one plane of B, G, R (and A) bytes per pixel
    PackedYuy2,  // one plane of Y0 U Y1 V per pixel pair
    PlanarYuv,   // planes Y, U, V, the chroma planes subsampled
    PlanarRgb,   // three colour planes in the host's order (and A), each full size
    Gray,        // one plane
};

struct VideoFormat {
    Layout layout;
    int bytesPerPixel;  // packed formats: 3 or 4 for BGR, 2 for YUY2; planar: 1
    int chromaShiftX;   // planar YUV: log2 of the horizontal and vertical subsampling
    int chromaShiftY;
    bool alpha;         // a last channel or plane copied unchanged
};

constexpr VideoFormat kBgr24{Layout::PackedBgr, 3, 0, 0, false};
constexpr VideoFormat kBgr32{Layout::PackedBgr, 4, 0, 0, true};
constexpr VideoFormat kYuy2{Layout::PackedYuy2, 2, 1, 0, false};
constexpr VideoFormat kYuv420{Layout::PlanarYuv, 1, 1, 1, false};
constexpr VideoFormat kYuv422{Layout::PlanarYuv, 1, 1, 0, false};
constexpr VideoFormat kYuv444{Layout::PlanarYuv, 1, 0, 0, false};
constexpr VideoFormat kYuv411{Layout::PlanarYuv, 1, 2, 0, false};
constexpr VideoFormat kYuv410{Layout::PlanarYuv, 1, 2, 2, false};
constexpr VideoFormat kGray{Layout::Gray, 1, 0, 0, false};
constexpr VideoFormat kRgbPlanar{Layout::PlanarRgb, 1, 0, 0, false};
constexpr VideoFormat kRgbaPlanar{Layout::PlanarRgb, 1, 0, 0, true};

// RGB: sm and sh apply to every colour channel, smu and smv to none.
bool IsRgb(const VideoFormat& format);
// YUV (grey included): sm and sh apply to Y, smu to U, smv to V.
bool IsYuv(const VideoFormat& format);
// Planes of a frame: 1 for packed formats and grey, 3 for YUV and RGB, 4 with alpha.
int PlaneCount(const VideoFormat& format);
// Whether width and height divide into whole chroma samples.
bool FitsSubsampling(const VideoFormat& format, int width, int height);

enum class FactorOf { Sm, Smu, Smv, None };

// One channel of a frame: the samples at `offset`, every `step` bytes, of `width` x `height`
// samples of plane `plane`.
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
// Y, U, V for YUV; each plane in turn for planar RGB.
class FramePlan {
public:
    static constexpr int kMaxSteps = 4;

    // Preconditions: the arguments have passed FirstFailedCheck.
    FramePlan(const VideoFormat& format, int width, int height, const FilterSettings& settings);

    int StepCount() const { return count_; }
    const ChannelStep& Step(int i) const { return steps_[static_cast<size_t>(i)]; }
    // Whether a channel step runs a channel pass; otherwise it is copied unchanged.
    bool Processed(const ChannelStep& step) const;
    int FactorFor(const ChannelStep& step) const;
    // Whether any channel of a plane is processed: a plane that is not may be shared with the
    // source frame instead of copied, where the host allows.
    bool PlaneProcessed(int plane) const;

    const VideoFormat& Format() const { return format_; }
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
