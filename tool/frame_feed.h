// Where the frame numbers that workers process come from: a count known up front (a file,
// read by number), or standard input, read in order as workers ask for the next frame.
#pragma once

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>

#include "y4m_clips.h"
#include "y4m_reader.h"

namespace cli {

// A frame that could not be made; `frame` is its number.
struct FrameFailure : std::runtime_error {
    FrameFailure(int frameNumber, const std::string& message)
        : std::runtime_error(message), frame(frameNumber) {}
    int frame;
};

class FrameFeed {
public:
    virtual ~FrameFeed() = default;
    // The next frame to process, numbers increasing from 0 by one per call, or -1 when
    // there are no more. Thread-safe. Throws FrameFailure when the next frame cannot be read.
    virtual int next() = 0;
    // The number of frames, or -1 while unknown.
    virtual int knownCount() const = 0;
};

class CountedFeed final : public FrameFeed {
public:
    explicit CountedFeed(int count) : count_(count) {}
    int next() override;
    int knownCount() const override { return count_; }

private:
    const int count_;
    std::atomic<int> next_{0};
};

// Reads standard input in order: each call reads one frame into a new host frame and hands
// it to the stream clip. After the end or a failure it returns -1 for good.
class StreamFeed final : public FrameFeed {
public:
    StreamFeed(media::Y4mReader& reader, Y4mStreamClip& clip, IScriptEnvironment& env)
        : reader_(reader), clip_(clip), env_(env) {}
    int next() override;
    int knownCount() const override { return -1; }

private:
    media::Y4mReader& reader_;
    Y4mStreamClip& clip_;
    IScriptEnvironment& env_;
    std::mutex mutex_;  // one reader at a time, in frame order
    bool ended_ = false;
};

}  // namespace cli
