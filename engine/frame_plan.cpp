#include "frame_plan.h"

#include "arguments.h"

namespace engine {

FramePlan::FramePlan(const VideoFormat& videoFormat, int width, int height,
                     const FilterSettings& settings)
    : format_(videoFormat), width_(width), height_(height), sh_(settings.sh), sm_(settings.sm),
      smu_(settings.smu), smv_(settings.smv), c4_(settings.c4), useclip_(settings.useclip) {
    const PixelFormat& format = *videoFormat.pixels;
    switch (format.layout) {
        case Layout::PackedBgr: {
            // Each colour channel is segmented on its own; alpha is copied after them.
            const int step = format.samplesPerPixel;
            for (int offset = 0; offset < 3; ++offset)
                Add({0, offset, step, width, height, FactorOf::Sm, false});
            if (format.alpha) Add({0, 3, step, width, height, FactorOf::None, false});
            break;
        }
        case Layout::PackedYuy2: {
            // Y0 U Y1 V: luma every 2 samples, each chroma every 4, at half the width.
            const int chromaWidth = width >> format.chromaShiftX;
            Add({0, 0, 2, width, height, FactorOf::Sm, false});
            Add({0, 1, 4, chromaWidth, height, FactorOf::Smu, false});
            Add({0, 3, 4, chromaWidth, height, FactorOf::Smv, false});
            break;
        }
        case Layout::PlanarYuv: {
            const int chromaWidth = width >> format.chromaShiftX;
            const int chromaHeight = height >> format.chromaShiftY;
            Add({0, 0, 1, width, height, FactorOf::Sm, true});
            Add({1, 0, 1, chromaWidth, chromaHeight, FactorOf::Smu, true});
            Add({2, 0, 1, chromaWidth, chromaHeight, FactorOf::Smv, true});
            if (format.alpha) Add({3, 0, 1, width, height, FactorOf::None, true});
            break;
        }
        case Layout::PlanarRgb:
            for (int plane = 0; plane < 3; ++plane)
                Add({plane, 0, 1, width, height, FactorOf::Sm, true});
            if (format.alpha) Add({3, 0, 1, width, height, FactorOf::None, true});
            break;
        case Layout::Gray: Add({0, 0, 1, width, height, FactorOf::Sm, true}); break;
    }
}

int FramePlan::FactorFor(const ChannelStep& step) const {
    switch (step.factor) {
        case FactorOf::Sm: return sm_;
        case FactorOf::Smu: return smu_;
        case FactorOf::Smv: return smv_;
        case FactorOf::None: break;
    }
    return 0;
}

SampleRange FramePlan::RangeFor(const ChannelStep& step) const {
    if (format_.samples.type == SampleType::Float)
        return FloatRange(step.factor == FactorOf::Smu || step.factor == FactorOf::Smv);
    return IntegerRange(format_.samples.bits);
}

bool FramePlan::Processed(const ChannelStep& step) const {
    switch (step.factor) {
        case FactorOf::Sm: return sm_ != 0 || sh_ != 0;
        case FactorOf::Smu: return smu_ != 0;
        case FactorOf::Smv: return smv_ != 0;
        case FactorOf::None: break;
    }
    return false;
}

bool FramePlan::ProcessesAnything() const {
    for (int i = 0; i < count_; ++i)
        if (Processed(Step(i))) return true;
    return false;
}

bool FramePlan::PlaneProcessed(int plane) const {
    for (int i = 0; i < count_; ++i)
        if (steps_[static_cast<size_t>(i)].plane == plane && Processed(Step(i))) return true;
    return false;
}

}  // namespace engine
