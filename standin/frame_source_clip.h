// A source clip whose frames are made on demand, e.g. read from a file: each request gets a
// new frame from the environment, filled by the writer. Calls of the writer are serialised,
// so it may keep state such as a file position.
#pragma once

#include <functional>
#include <mutex>

#include "source_clip.h"

namespace standin {

class FrameSourceClip final : public SourceClip {
public:
    // Exceptions (std::exception) from the writer reach the caller as AvisynthError.
    using FrameWriter = std::function<void(int n, VideoFrame& frame)>;

    FrameSourceClip(const VideoInfo& vi, FrameWriter writer)
        : SourceClip(vi), writer_(std::move(writer)) {}

    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

private:
    ~FrameSourceClip() override = default;

    std::mutex mutex_;
    FrameWriter writer_;
};

}  // namespace standin
