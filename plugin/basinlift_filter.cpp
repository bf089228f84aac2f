#include "basinlift_filter.h"

#include <cstdio>
#include <exception>
#include <new>

#include "arguments.h"
#include "frame_render.h"

namespace {
constexpr char kInternalFailure[] = "BasinLift: frame %d failed: %s";

// The host's planes in the plan's order: Y, U, V wherever each planar format keeps them.
constexpr int kPlanarSelectors[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
}  // namespace

BasinLiftFilter::BasinLiftFilter(const PClip& child, const engine::VideoFormat& format,
                                 const engine::FilterSettings& settings, const PClip& sclip)
    : GenericVideoFilter(child), sclip_(sclip), plan_(format, vi.width, vi.height, settings),
      buffers_(vi.width, vi.height, format.samples) {}

BasinLiftFilter::~BasinLiftFilter() { ReleaseFrames(); }

void BasinLiftFilter::ReleaseFrames() {
    segFrame_.reset();
    dstFrame_.reset();
    srcFrame_.reset();
}

// Leaves the new frame in dstFrame_. Only our own failures are caught here; the host's errors
// pass through unchanged. The host's error is raised after leaving the handler, when this
// call holds no frame.
void BasinLiftFilter::Deliver(int n, IScriptEnvironment* env) {
    ReleaseFrames();
    char failure[256] = "";
    try {
        RenderFrame(n, env);
    } catch (const std::bad_alloc&) {
        snprintf(failure, sizeof failure, engine::kOutOfMemoryAtFrame, n);
    } catch (const std::exception& e) {
        snprintf(failure, sizeof failure, kInternalFailure, n, e.what());
    }
    if (failure[0]) {
        ReleaseFrames();
        env->ThrowError("%s", failure);
    }
}

#if AVS_MSVC_LAYOUT
PVideoFrame* AVS_STDCALL BasinLiftFilter::GetFrame_(PVideoFrame* result, int n,
                                                    IScriptEnvironment* env) {
    Deliver(n, env);
    new (result) PVideoFrame(dstFrame_);
    ReleaseFrames();
    return result;
}
#else
PVideoFrame BasinLiftFilter::GetFrame(int n, IScriptEnvironment* env) {
    Deliver(n, env);
    PVideoFrame result(dstFrame_);
    ReleaseFrames();
    return result;
}
#endif

void BasinLiftFilter::RenderFrame(int n, IScriptEnvironment* env) {
    srcFrame_ = child->GetFrame(n, env);
    dstFrame_ = env->NewVideoFrame(vi, 16);
    segFrame_ = plan_.Useclip() ? sclip_->GetFrame(n, env) : srcFrame_;

    engine::FrameRefs frame{};
    if (vi.IsPlanar()) {
        // The Y write pointer first: it is the one that checks the frame is writable.
        for (int p = 0; p < 3; ++p) {
            const int selector = kPlanarSelectors[p];
            frame.dst[p] = {dstFrame_->GetWritePtr(selector), dstFrame_->GetPitch(selector)};
            frame.src[p] = {srcFrame_->GetReadPtr(selector), srcFrame_->GetPitch(selector)};
            frame.seg[p] = {segFrame_->GetReadPtr(selector), segFrame_->GetPitch(selector)};
        }
    } else {
        frame.dst[0] = {dstFrame_->GetWritePtr(), dstFrame_->GetPitch()};
        frame.src[0] = {srcFrame_->GetReadPtr(), srcFrame_->GetPitch()};
        frame.seg[0] = {segFrame_->GetReadPtr(), segFrame_->GetPitch()};
    }
    engine::RenderFrame(plan_, buffers_, frame,
                        [env](uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src,
                              ptrdiff_t srcPitch, int rowBytes, int rows) {
                            env->BitBlt(dst, static_cast<int>(dstPitch), src,
                                        static_cast<int>(srcPitch), rowBytes, rows);
                        });
}
