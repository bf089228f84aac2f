#include "basinlift_filter.h"

#include <cstdio>
#include <exception>
#include <new>

#include "arguments.h"
#include "frame_render.h"

namespace {
constexpr char kOutOfMemory[] = "BasinLift: out of memory at frame %d";
constexpr char kInternalFailure[] = "BasinLift: frame %d failed: %s";

// The host's planes in the plan's order: Y, U, V wherever each planar format keeps them.
constexpr int kPlanarSelectors[3] = {PLANAR_Y, PLANAR_U, PLANAR_V};
}  // namespace

BasinLiftFilter::BasinLiftFilter(const PClip& child, const engine::VideoFormat& format,
                                 const engine::FilterSettings& settings, const PClip& sclip_)
    : GenericVideoFilter(child), sclip(sclip_), plan(format, vi.width, vi.height, settings),
      buffers(vi.width, vi.height) {}

BasinLiftFilter::~BasinLiftFilter() { ReleaseFrames(); }

void BasinLiftFilter::ReleaseFrames() {
    segFrame.reset();
    dstFrame.reset();
    srcFrame.reset();
}

// Leaves the new frame in dstFrame. Only our own failures are caught here; the host's errors
// pass through unchanged. The host's error is raised after leaving the handler, when this
// call holds no frame.
void BasinLiftFilter::Deliver(int n, IScriptEnvironment* env) {
    ReleaseFrames();
    const char* failure = nullptr;
    char reason[128] = "";
    try {
        RenderFrame(n, env);
    } catch (const std::bad_alloc&) {
        failure = kOutOfMemory;
    } catch (const std::exception& e) {
        failure = kInternalFailure;
        snprintf(reason, sizeof reason, "%s", e.what());
    }
    if (failure) {
        ReleaseFrames();
        env->ThrowError(failure, n, reason);
    }
}

#if AVS_MSVC_LAYOUT
PVideoFrame* AVS_STDCALL BasinLiftFilter::GetFrame_(PVideoFrame* result, int n,
                                                    IScriptEnvironment* env) {
    Deliver(n, env);
    new (result) PVideoFrame(dstFrame);
    ReleaseFrames();
    return result;
}
#else
PVideoFrame BasinLiftFilter::GetFrame(int n, IScriptEnvironment* env) {
    Deliver(n, env);
    PVideoFrame result(dstFrame);
    ReleaseFrames();
    return result;
}
#endif

void BasinLiftFilter::RenderFrame(int n, IScriptEnvironment* env) {
    srcFrame = child->GetFrame(n, env);
    dstFrame = env->NewVideoFrame(vi, 16);
    segFrame = plan.Useclip() ? sclip->GetFrame(n, env) : srcFrame;

    engine::FrameRefs frame{};
    if (vi.IsPlanar()) {
        // The Y write pointer first: it is the one that checks the frame is writable.
        for (int p = 0; p < 3; ++p) {
            const int selector = kPlanarSelectors[p];
            frame.dst[p] = {dstFrame->GetWritePtr(selector), dstFrame->GetPitch(selector)};
            frame.src[p] = {srcFrame->GetReadPtr(selector), srcFrame->GetPitch(selector)};
            frame.seg[p] = {segFrame->GetReadPtr(selector), segFrame->GetPitch(selector)};
        }
    } else {
        frame.dst[0] = {dstFrame->GetWritePtr(), dstFrame->GetPitch()};
        frame.src[0] = {srcFrame->GetReadPtr(), srcFrame->GetPitch()};
        frame.seg[0] = {segFrame->GetReadPtr(), segFrame->GetPitch()};
    }
    engine::RenderFrame(plan, buffers, frame,
                        [env](uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                              int rowBytes, int rows) {
                            env->BitBlt(dst, dstPitch, src, srcPitch, rowBytes, rows);
                        });
}
