#include "frame_render.h"

#include <cstddef>
#include <cstring>

#include "basinlift_core.h"

namespace engine {

namespace {

void CopyRows(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src, ptrdiff_t srcPitch,
              int rowBytes, int rows) {
    for (int y = 0; y < rows; ++y)
        std::memcpy(dst + y * dstPitch, src + y * srcPitch, static_cast<size_t>(rowBytes));
}

// Orders and segments the channel of the segmentation frame, then writes the destination
// channel from the source values within those regions.
void ChannelPass(const FramePlan& plan, const ChannelScratch<uint8_t>& scratch,
                 const FrameRefs& frame, const ChannelStep& c) {
    SegmentChannel(plan, scratch, frame, c);
    EnhanceChannel(ChannelOf(frame.dst[c.plane], c), ChannelOf(frame.src[c.plane], c), scratch,
                   kEightBit, plan.FactorFor(c), plan.Sh());
}

}  // namespace

PlaneView<uint8_t> ChannelOf(const WritablePlaneRef& plane, const ChannelStep& c) {
    return {plane.data + c.offset, plane.pitch, c.step, c.width, c.height};
}

PlaneView<const uint8_t> ChannelOf(const PlaneRef& plane, const ChannelStep& c) {
    return {plane.data + c.offset, plane.pitch, c.step, c.width, c.height};
}

void SegmentChannel(const FramePlan& plan, const ChannelScratch<uint8_t>& scratch,
                    const FrameRefs& frame, const ChannelStep& c) {
    SortPixels(scratch, ChannelOf(frame.seg[c.plane], c), kEightBit);
    Watershed(scratch, c.width, c.height, plan.C4());
    // The regions came from the segmentation clip; the values within them are the source's.
    if (plan.Useclip()) ExtractChannel(scratch, ChannelOf(frame.src[c.plane], c), kEightBit);
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
            CopyChannel(ChannelOf(dst, c), ChannelOf(src, c));
        else if (copyPlane)
            copyPlane(dst.data, dst.pitch, src.data, src.pitch, c.width, c.height);
        else
            CopyRows(dst.data, dst.pitch, src.data, src.pitch, c.width, c.height);
    }
}

void RenderFrame(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                 const PlaneCopy& copyPlane) {
    const ChannelScratch<uint8_t> scratch = buffers.Scratch();
    WalkFrame(plan, frame, copyPlane,
              [&](const ChannelStep& c) { ChannelPass(plan, scratch, frame, c); });
}

}  // namespace engine
