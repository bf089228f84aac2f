// Frames processed by several workers at once and delivered in order on the calling thread.
//
// Each worker takes the next frame number from the feed and processes it; the results wait
// in a reorder window of a few frames, so memory stays bounded however far a fast worker
// could run ahead. The output is the same whatever the number of workers: after a failure
// no new frame is started, frames below the failing one still finish and are delivered,
// and the lowest failure is what the run reports, as a single worker would.
#pragma once

#include <avisynth.h>

#include <functional>
#include <string>

#include "frame_feed.h"

namespace cli {

struct ProcessedFrame {
    PVideoFrame frame;
    std::string params;  // the input frame's FRAME parameters
};

// Runs on worker `worker` (0 to workers - 1); never on two threads with the same worker
// number at once. May throw AvisynthError, FrameFailure or std::exception.
using ProcessFrame = std::function<ProcessedFrame(unsigned worker, int n)>;
// Runs on the calling thread, frame after frame in order.
using DeliverFrame = std::function<void(int n, const ProcessedFrame& frame)>;

// Returns when every frame is delivered. Throws the lowest FrameFailure (a failed frame
// becomes one, with the processing error's message), or what deliver threw; either way
// after every worker has stopped.
void runFramePipeline(FrameFeed& feed, unsigned workers, const ProcessFrame& process,
                      const DeliverFrame& deliver);

}  // namespace cli
