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

// Writes rows firstRow .. endRow - 1 of the destination channel from the source values within
// the regions that SegmentChannel left in the scratch.
template <typename Sample>
void FinishChannel(const FramePlan& plan, ChannelScratch<Sample> scratch, const FrameRefs& frame,
                   const ChannelStep& c, int firstRow, int endRow) {
    EnhanceRows(ChannelOf<Sample>(frame.dst[c.plane], c), ChannelOf<Sample>(frame.src[c.plane], c),
                scratch, plan.RangeFor(c), plan.FactorFor(c), plan.Sh(), firstRow, endRow);
}

template <typename Sample>
void CopyChannelOf(const FrameRefs& frame, const ChannelStep& c) {
    CopyChannel(ChannelOf<Sample>(frame.dst[c.plane], c), ChannelOf<Sample>(frame.src[c.plane], c));
}

}  // namespace

template <typename Sample>
PlaneView<Sample> ChannelOf(const WritablePlaneRef& plane, const ChannelStep& c) {
    return {reinterpret_cast<Sample*>(plane.data) + c.offset, plane.pitch,
            c.step * static_cast<int>(sizeof(Sample)), c.width, c.height};
}

template <typename Sample>
PlaneView<const Sample> ChannelOf(const PlaneRef& plane, const ChannelStep& c) {
    return {reinterpret_cast<const Sample*>(plane.data) + c.offset, plane.pitch,
            c.step * static_cast<int>(sizeof(Sample)), c.width, c.height};
}

template <typename Sample>
void SegmentChannel(const FramePlan& plan, ChannelScratch<Sample> scratch,
                    const FrameRefs& frame, const ChannelStep& c) {
    const SampleRange range = plan.RangeFor(c);
    SortPixels(scratch, ChannelOf<Sample>(frame.seg[c.plane], c), range);
    Watershed(scratch, c.width, c.height, plan.C4());
    // The regions came from the segmentation clip; the values within them are the source's.
    if (plan.Useclip()) ExtractChannel(scratch, ChannelOf<Sample>(frame.src[c.plane], c), range);
}

void WalkStep(const FramePlan& plan, const FrameRefs& frame, const PlaneCopy& copyPlane,
              const ProcessChannel& process, int step) {
    const ChannelStep& c = plan.Step(step);
    if (plan.Processed(c)) {
        process(c);
        return;
    }
    const int sampleBytes = plan.Samples().Bytes();
    const PlaneRef& src = frame.src[c.plane];
    const WritablePlaneRef& dst = frame.dst[c.plane];
    if (!c.wholePlane)
        DispatchSamples(plan.Samples(), [&](auto sample) { CopyChannelOf<decltype(sample)>(frame, c); });
    else if (copyPlane)
        copyPlane(dst.data, dst.pitch, src.data, src.pitch, c.width * sampleBytes, c.height);
    else
        CopyRows(dst.data, dst.pitch, src.data, src.pitch, c.width * sampleBytes, c.height);
}

// Orders and segments the channel of the segmentation frame, then writes the destination
// channel from the source values within those regions (or copies a step not processed).
void RenderStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, const PlaneCopy& copyPlane) {
    SegmentStep(plan, buffers, frame, step);
    FinishStep(plan, buffers, frame, step, copyPlane);
}

void SegmentStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                 int step) {
    SegmentStep(plan, buffers, buffers, frame, step);
}

void SegmentStep(const FramePlan& plan, const WorkingBuffers& regions,
                 const WorkingBuffers& flooding, const FrameRefs& frame, int step) {
    const ChannelStep& c = plan.Step(step);
    if (!plan.Processed(c)) return;
    DispatchSamples(plan.Samples(), [&](auto sample) {
        SegmentChannel(plan, regions.ScratchFloodingIn<decltype(sample)>(flooding), frame, c);
    });
}

void FinishRows(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, int firstRow, int endRow) {
    const ChannelStep& c = plan.Step(step);
    DispatchSamples(plan.Samples(), [&](auto sample) {
        FinishChannel(plan, buffers.Scratch<decltype(sample)>(), frame, c, firstRow, endRow);
    });
}

void FinishStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, const PlaneCopy& copyPlane) {
    DispatchSamples(plan.Samples(), [&](auto sample) {
        using Sample = decltype(sample);
        const ChannelScratch<Sample> scratch = buffers.Scratch<Sample>();
        WalkStep(plan, frame, copyPlane,
                 [&](const ChannelStep& c) { FinishChannel(plan, scratch, frame, c, 0, c.height); },
                 step);
    });
}

void RenderFrame(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                 const PlaneCopy& copyPlane) {
    for (int i = 0; i < plan.StepCount(); ++i) RenderStep(plan, buffers, frame, i, copyPlane);
}

template PlaneView<uint8_t> ChannelOf(const WritablePlaneRef&, const ChannelStep&);
template PlaneView<uint16_t> ChannelOf(const WritablePlaneRef&, const ChannelStep&);
template PlaneView<float> ChannelOf(const WritablePlaneRef&, const ChannelStep&);
template PlaneView<const uint8_t> ChannelOf(const PlaneRef&, const ChannelStep&);
template PlaneView<const uint16_t> ChannelOf(const PlaneRef&, const ChannelStep&);
template PlaneView<const float> ChannelOf(const PlaneRef&, const ChannelStep&);
template void SegmentChannel(const FramePlan&, ChannelScratch<uint8_t>, const FrameRefs&,
                             const ChannelStep&);
template void SegmentChannel(const FramePlan&, ChannelScratch<uint16_t>, const FrameRefs&,
                             const ChannelStep&);
template void SegmentChannel(const FramePlan&, ChannelScratch<float>, const FrameRefs&,
                             const ChannelStep&);

}  // namespace engine
