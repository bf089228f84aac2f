// One frame through the filter: every channel of the plan either goes through a channel pass
// (ordering and watershed on the segmentation frame, then smoothing and boundary scaling of the
// source values into the destination) or is copied unchanged. Host adapters obtain the frames
// and hand over their planes; this knows no host.
#pragma once

#include <cstdint>
#include <functional>

#include "frame_plan.h"
#include "plane_view.h"
#include "working_buffers.h"

namespace engine {

// A plane of a frame: its first byte and the bytes from one row to the next.
struct PlaneRef {
    const uint8_t* data;
    ptrdiff_t pitch;
};
struct WritablePlaneRef {
    uint8_t* data;
    ptrdiff_t pitch;
};

// The planes of the three frames of one call, in the plan's plane order. The segmentation
// frame is the source frame itself unless the plan segments another clip. A destination plane
// that is never processed may be null when the copy below leaves it alone.
struct FrameRefs {
    WritablePlaneRef dst[4];
    PlaneRef src[4];
    PlaneRef seg[4];
};

// Copies a whole plane that is not processed: rowBytes x rows, each side with its own pitch.
// Hosts pass their own copy (or nothing at all where the destination already shares the
// source plane); without one, rows are copied here.
using PlaneCopy = std::function<void(uint8_t* dst, ptrdiff_t dstPitch, const uint8_t* src,
                                     ptrdiff_t srcPitch, int rowBytes, int rows)>;

// Writes every byte of every row of the destination frame that belongs to a channel, in the
// plan's order, one pass after the other. Nothing is allocated. The buffers must be sized for
// the plan's frame and used by no other call at the same time.
void RenderFrame(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                 const PlaneCopy& copyPlane = nullptr);

// One step of RenderFrame: the channel pass or the copy of the plan's step `step`. Steps
// write disjoint samples of the destination, so different steps of one frame may run on
// different threads at once, each with buffers of its own.
void RenderStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, const PlaneCopy& copyPlane = nullptr);

// RenderStep in two halves, for a frame whose channels are spread over threads: SegmentStep
// finds a processed step's regions into its buffers (the long half), FinishStep writes the
// destination from them (or copies a step that is not processed). Each processed step then
// needs buffers of its own, kept from its SegmentStep to its FinishStep.
void SegmentStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                 int step);
void FinishStep(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, const PlaneCopy& copyPlane = nullptr);

// SegmentStep keeping the regions in `regions` (a Whole or Regions set, one per step in flight)
// and ordering and flooding in `flooding` (a Whole or Flooding set, one per thread): a thread's
// flooding buffers serve every step it segments.
void SegmentStep(const FramePlan& plan, const WorkingBuffers& regions,
                 const WorkingBuffers& flooding, const FrameRefs& frame, int step);

// FinishStep of a processed step on rows firstRow .. endRow - 1 of its channel only, so that
// threads can share a channel's finish: bands of one step write disjoint rows.
void FinishRows(const FramePlan& plan, const WorkingBuffers& buffers, const FrameRefs& frame,
                int step, int firstRow, int endRow);

// Calls run(Sample{}) with the sample type of the format: uint8_t, uint16_t or float. Frames
// are walked knowing their type; the kernels below are chosen once per frame.
template <typename Run>
void DispatchSamples(const SampleFormat& samples, Run&& run) {
    switch (samples.type) {
        case SampleType::Byte: run(uint8_t{}); break;
        case SampleType::Word: run(uint16_t{}); break;
        case SampleType::Float: run(float{}); break;
    }
}

// The channel of a step in one of the frames, of the frame's sample type.
template <typename Sample>
PlaneView<Sample> ChannelOf(const WritablePlaneRef& plane, const ChannelStep& channel);
template <typename Sample>
PlaneView<const Sample> ChannelOf(const PlaneRef& plane, const ChannelStep& channel);

// The first half of a channel pass: the scratch's labels and boundaries then describe the
// regions of the channel, found on the segmentation frame, and its channel buffer holds the
// source frame's values of it.
template <typename Sample>
void SegmentChannel(const FramePlan& plan, ChannelScratch<Sample> scratch,
                    const FrameRefs& frame, const ChannelStep& channel);

// One step of the walk of a frame: `process` runs for a processed channel; any other is
// copied unchanged (whole planes with copyPlane, as RenderFrame does). RenderStep is this step
// with the channel pass; the regions view uses it with its own.
using ProcessChannel = std::function<void(const ChannelStep& channel)>;
void WalkStep(const FramePlan& plan, const FrameRefs& frame, const PlaneCopy& copyPlane,
              const ProcessChannel& process, int step);

}  // namespace engine
