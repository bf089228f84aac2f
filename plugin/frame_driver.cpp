// The per-frame driver: obtains the frames of a call, walks the channels of the pixel format
// in a fixed order and either runs a channel pass on each or copies it unchanged.
//
//   BGR24, BGR32  blue, green, red (offsets 0, 1, 2); BGR32 alpha is always copied
//   YUY2          Y (offset 0, step 2), U (offset 1, step 4), V (offset 3, step 4)
//   YV12, I420    the Y, U and V planes, step 1, wherever each format keeps them
//
// RGB and Y are processed when sm or sh is set, U when smu is, V when smv is.
#include <cstdio>
#include <exception>
#include <new>

#include "basinlift_core.h"
#include "basinlift_filter.h"

namespace {
constexpr char kOutOfMemory[] = "BasinLift: not enough memory to segment frame %d";
constexpr char kInternalFailure[] = "BasinLift: frame %d failed: %s";
}  // namespace

PVideoFrame* AVS_STDCALL BasinLiftFilter::GetFrame_(PVideoFrame* result, int n,
                                                    IScriptEnvironment* env) {
    ReleaseFrames();
    // Only our own failures are caught here; the host's errors pass through unchanged. The
    // host's error is raised after leaving the handler, when this frame holds no reference.
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
    new (result) PVideoFrame(dstFrame);
    ReleaseFrames();
    return result;
}

void BasinLiftFilter::RenderFrame(int n, IScriptEnvironment* env) {
    srcFrame = child->GetFrame(n, env);
    dstFrame = env->NewVideoFrame(vi, 16);
    segFrame = useclip ? sclip->GetFrame(n, env) : srcFrame;

    switch (vi.pixel_type) {
        case VideoInfo::CS_BGR24:
        case VideoInfo::CS_BGR32:
        case VideoInfo::CS_YUY2: RenderInterleaved(); break;
        case VideoInfo::CS_YV12:
        case VideoInfo::CS_I420: RenderPlanar(env); break;
        default: break;  // creation accepts no other type
    }
}

void BasinLiftFilter::RenderInterleaved() {
    const FramePlanes frame{dstFrame->GetWritePtr(), dstFrame->GetPitch(),
                            srcFrame->GetReadPtr(),  srcFrame->GetPitch(),
                            segFrame->GetReadPtr(),  segFrame->GetPitch()};
    const int height = srcFrame->GetHeight();
    const int step = vi.BitsPerPixel() / 8;
    const bool isRgb = vi.pixel_type != VideoInfo::CS_YUY2;

    if (sm != 0 || sh != 0) {
        const int passes = isRgb ? 3 : 1;
        for (int offset = 0; offset < passes; ++offset)
            ChannelPass(frame, offset, step, vi.width, height, sm);
    } else if (!isRgb) {
        CopyChannel(frame.dst, frame.dstPitch, frame.src, frame.srcPitch, step, vi.width, height);
    }
    if (vi.pixel_type == VideoInfo::CS_BGR32)
        CopyChannel(frame.dst + 3, frame.dstPitch, frame.src + 3, frame.srcPitch, 4, vi.width,
                    height);
    if (!isRgb) RenderYuy2Chroma(frame, height);
}

void BasinLiftFilter::RenderYuy2Chroma(const FramePlanes& frame, int height) {
    const int chromaWidth = vi.width / 2;
    struct Chroma {
        int offset;
        int factor;
    };
    const Chroma chroma[] = {{1, smu}, {3, smv}};
    for (const Chroma& c : chroma) {
        if (c.factor != 0)
            ChannelPass(frame, c.offset, 4, chromaWidth, height, c.factor);
        else
            CopyChannel(frame.dst + c.offset, frame.dstPitch, frame.src + c.offset,
                        frame.srcPitch, 4, chromaWidth, height);
    }
}

void BasinLiftFilter::RenderPlanar(IScriptEnvironment* env) {
    struct Plane {
        int selector;
        bool processed;
        int factor;
    };
    // The Y write pointer first: it is the one that checks the frame is writable.
    const Plane planes[] = {{PLANAR_Y, sm != 0 || sh != 0, sm},
                            {PLANAR_U, smu != 0, smu},
                            {PLANAR_V, smv != 0, smv}};
    for (const Plane& p : planes) {
        const FramePlanes plane{dstFrame->GetWritePtr(p.selector), dstFrame->GetPitch(p.selector),
                                srcFrame->GetReadPtr(p.selector),  srcFrame->GetPitch(p.selector),
                                segFrame->GetReadPtr(p.selector),  segFrame->GetPitch(p.selector)};
        const int width = dstFrame->GetRowSize(p.selector);
        const int height = dstFrame->GetHeight(p.selector);
        if (p.processed)
            ChannelPass(plane, 0, 1, width, height, p.factor);
        else
            env->BitBlt(plane.dst, plane.dstPitch, plane.src, plane.srcPitch, width, height);
    }
}

// Orders and segments the channel of the segmentation frame, then writes the destination
// channel from the source values within those regions.
void BasinLiftFilter::ChannelPass(const FramePlanes& planes, int offset, int step, int width,
                                  int height, int factor) {
    const uint8_t* src = planes.src + offset;
    SortPixels(channelBuf, width, planes.seg + offset, planes.segPitch, step, width, height,
               orderBuf);
    Watershed(orderBuf, channelBuf, labelBuf, distBuf, boundaryBuf, height, width, c4);
    if (useclip) ExtractChannel(channelBuf, width, src, planes.srcPitch, step, width, height);
    EnhanceChannel(planes.dst + offset, planes.dstPitch, src, planes.srcPitch, step, width,
                   height, channelBuf, labelBuf, boundaryBuf, width, factor, sh);
}
