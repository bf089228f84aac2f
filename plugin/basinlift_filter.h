// BasinLiftFilter: the clip that "BasinLift" returns to the classic host. It holds the
// segmentation clip, the plan of a frame and the working buffers; its GetFrame obtains the
// frames of a call from the host and hands their planes to the engine.
#pragma once

#include "avisynth.h"
#include "frame_plan.h"
#include "working_buffers.h"

namespace engine {
struct FilterSettings;
}

class BasinLiftFilter : public GenericVideoFilter {
public:
    // The settings have passed the checks of creation; sclip is the clip to segment (the input
    // clip itself unless useclip is set). Throws std::bad_alloc when the working buffers cannot
    // be had.
    BasinLiftFilter(const PClip& child, const engine::VideoFormat& format,
                    const engine::FilterSettings& settings, const PClip& sclip);
    ~BasinLiftFilter() override;

    // The per-frame driver. Calls on one filter must not overlap: they share the buffers.
#if AVS_MSVC_LAYOUT
    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n, IScriptEnvironment* env) override;
#else
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;
#endif
    void AVS_STDCALL SetCacheHints(int, int) override {}

private:
    void Deliver(int n, IScriptEnvironment* env);
    void RenderFrame(int n, IScriptEnvironment* env);
    void ReleaseFrames();

    PClip sclip_;
    engine::FramePlan plan_;
    engine::WorkingBuffers buffers_;

    // The frames of the call in progress. They live here rather than on the stack because an
    // error raised by the Microsoft-built host skips our destructors: whatever a failed call
    // still holds is released at the start of the next call, or when the filter goes.
    PVideoFrame srcFrame_;
    PVideoFrame dstFrame_;
    PVideoFrame segFrame_;
};
