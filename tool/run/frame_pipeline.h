// Frames processed by several workers at once and delivered in order on the calling thread.
//
// The frame numbers come from a feed: a count known up front (a file, read by number), or
// standard input, read in order as workers ask for the next frame. Each worker takes the
// next frame number from the feed and processes it; the results wait in a reorder window
// of a few frames, so memory stays bounded however far a fast worker could run ahead. The
// output is the same whatever the number of workers: after a failure no new frame is
// started, frames below the failing one still finish and are delivered, and the lowest
// failure is what the run reports, as a single worker would.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <string>

#include "frame.h"
#include "sources.h"

namespace cli {

// A frame the feed could not read: its number, and what the reading threw.
struct FrameFailure {
    int frame;
    std::exception_ptr cause;
};

// Frames are numbered from 0 in the order they are delivered, whatever frame of the input
// (--frames) each one is.
class FrameFeed {
public:
    virtual ~FrameFeed() = default;
    // The next frame to process, numbers increasing from 0 by one per call, or -1 when
    // there are no more. Thread-safe. Throws FrameFailure when the next frame cannot be read.
    virtual int Next() = 0;
    // The number of frames, or -1 while unknown.
    virtual int KnownCount() const = 0;
};

class CountedFeed final : public FrameFeed {
public:
    explicit CountedFeed(int count) : count_(count) {}
    int Next() override;
    int KnownCount() const override { return count_; }

private:
    const int count_;
    std::atomic<int> next_{0};
};

// Reads standard input in order: each call has the stream source read one frame, the
// reader's frame first + n for feed number n, up to limit frames. After the end or a failure
// it returns -1 for good.
class StreamFeed final : public FrameFeed {
public:
    StreamFeed(VideoSource& source, int first, int limit)
        : source_(source), first_(first), limit_(limit) {}
    int Next() override;
    int KnownCount() const override { return -1; }

private:
    VideoSource& source_;
    const int first_;
    const int limit_;
    std::mutex mutex_;  // one reader at a time, in frame order
    bool ended_ = false;
};

struct ProcessedFrame {
    FramePtr frame;
    std::string params;  // the input frame's FRAME parameters
};

// Runs on worker `worker` (0 to workers - 1); never on two threads with the same worker
// number at once. May throw anything.
using ProcessFrame = std::function<ProcessedFrame(unsigned worker, int n)>;
// Runs on the calling thread, frame after frame in order.
using DeliverFrame = std::function<void(int n, const ProcessedFrame& frame)>;

// Returns when every frame is delivered. Throws what the lowest failing frame threw, in the
// feed or in process (std::bad_alloc stays std::bad_alloc), or what deliver threw; either
// way after every worker has stopped.
void RunFramePipeline(FrameFeed& feed, unsigned workers, const ProcessFrame& process,
                      const DeliverFrame& deliver);

}  // namespace cli
