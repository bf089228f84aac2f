// BasinLiftFilter: the clip that "BasinLift" returns. It holds the validated parameters, the
// segmentation clip and the working buffers that the core fills for every channel of every
// frame. Its GetFrame_ is the per-frame driver (frame_driver.cpp).
#pragma once

#include <cstdint>

#include "avisynth.h"
#include "channel_plane.h"

class BasinLiftFilter : public GenericVideoFilter {
public:
    // The arguments have passed the checks of creation. env is not kept.
    BasinLiftFilter(const PClip& child, int sh, int sm, bool c4, bool useclip, const PClip& sclip,
                    int smu, int smv, IScriptEnvironment* env);
    ~BasinLiftFilter() override;

    // False when the working buffers could not be allocated; creation then refuses the clip.
    bool HasWorkingBuffers() const { return channelBuf != nullptr; }

    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n, IScriptEnvironment* env) override;
    void AVS_STDCALL SetCacheHints(int, int) override {}

private:
    // Pointers and pitches of one plane (or of the whole interleaved frame) in the three
    // frames of a call.
    struct FramePlanes {
        uint8_t* dst;
        int dstPitch;
        const uint8_t* src;
        int srcPitch;
        const uint8_t* seg;
        int segPitch;
    };

    void RenderFrame(int n, IScriptEnvironment* env);
    void RenderInterleaved();
    void RenderYuy2Chroma(const FramePlanes& frame, int height);
    void RenderPlanar(IScriptEnvironment* env);
    void ChannelPass(const FramePlanes& planes, int offset, int step, int width, int height,
                     int factor);
    void ReleaseFrames();
    void FreeWorkingBuffers();

    int sh;
    int sm;
    int smu;
    int smv;
    bool c4;
    bool useclip;
    PClip sclip;

    // Each holds width x height entries of the full frame; a channel of w x h samples uses the
    // first w x h of them, row after row with row length w.
    int32_t* distBuf = nullptr;
    uint8_t* boundaryBuf = nullptr;
    PixelRef* orderBuf = nullptr;
    int32_t* labelBuf = nullptr;
    uint8_t* channelBuf = nullptr;

    // The frames of the call in progress. They live here rather than on the stack because an
    // error raised by the real host skips our destructors: whatever a failed call still holds
    // is released at the start of the next call, or when the filter goes.
    PVideoFrame srcFrame;
    PVideoFrame dstFrame;
    PVideoFrame segFrame;
};
