#include "frame_render.h"

#include <cstddef>
#include <cstring>

#include "basinlift_core.h"

namespace engine {

namespace {

void CopyRows(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int rowBytes,
              int rows) {
    for (int y = 0; y < rows; ++y)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstPitch,
                    src + static_cast<ptrdiff_t>(y) * srcPitch, static_cast<size_t>(rowBytes));
}

// Orders and segments the channel of the segmentation frame, then writes the destination
// channel from the source values within those regions.
void ChannelPass(const FramePlan& plan, WorkingBuffers& buffers, const FrameRefs& frame,
                 const ChannelStep& c) {
    SegmentChannel(plan, buffers, frame, c);
    const PlaneRef& src = frame.src[c.plane];
    const WritablePlaneRef& dst = frame.dst[c.plane];
    EnhanceChannel(dst.data + c.offset, dst.pitch, src.data + c.offset, src.pitch, c.step,
                   c.width, c.height, buffers.channel(), buffers.label(), buffers.boundary(),
                   c.width, plan.FactorFor(c), plan.Sh());
}

}  // namespace

void SegmentChannel(const FramePlan& plan, WorkingBuffers& buffers, const FrameRefs& frame,
                    const ChannelStep& c) {
    const PlaneRef& seg = frame.seg[c.plane];
    SortPixels(buffers.channel(), c.width, seg.data + c.offset, seg.pitch, c.step, c.width,
               c.height, buffers.order());
    Watershed(buffers.order(), buffers.channel(), buffers.label(), buffers.dist(),
              buffers.boundary(), c.height, c.width, plan.C4());
    // The regions came from the segmentation clip; the values within them are the source's.
    // orderBuf still points into channelBuf, but nothing reads it again.
    const PlaneRef& src = frame.src[c.plane];
    if (plan.Useclip())
        ExtractChannel(buffers.channel(), c.width, src.data + c.offset, src.pitch, c.step,
                       c.width, c.height);
}

void WalkFrame(const FramePlan& plan, const FrameRefs& frame, const PlaneCopy& copyPlane,
               const ProcessChannel& process) {
    for (int i = 0; i < plan.StepCount(); ++i) {
        const ChannelStep& c = plan.Step(i);
        if (plan.Processed(c)) {
            process(c);
            continue;
        }
        const PlaneRef& src = frame.src[c.plane];
        const WritablePlaneRef& dst = frame.dst[c.plane];
        if (!c.wholePlane)
            CopyChannel(dst.data + c.offset, dst.pitch, src.data + c.offset, src.pitch, c.step,
                        c.width, c.height);
        else if (copyPlane)
            copyPlane(dst.data, dst.pitch, src.data, src.pitch, c.width, c.height);
        else
            CopyRows(dst.data, dst.pitch, src.data, src.pitch, c.width, c.height);
    }
}

void RenderFrame(const FramePlan& plan, WorkingBuffers& buffers, const FrameRefs& frame,
                 const PlaneCopy& copyPlane) {
    WalkFrame(plan, frame, copyPlane,
              [&](const ChannelStep& c) { ChannelPass(plan, buffers, frame, c); });
}

}  // namespace engine
