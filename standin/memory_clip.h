// A source clip over frames held in memory.
#pragma once

#include <functional>
#include <vector>

#include "source_clip.h"

namespace standin {

class MemoryClip final : public SourceClip {
public:
    // frames must hold vi.num_frames frames of vi's geometry (std::invalid_argument if not).
    MemoryClip(const VideoInfo& vi, std::vector<PVideoFrame> frames);

    // Makes every frame up front: writer fills frame n, a new frame from env.
    static PClip Generate(IScriptEnvironment& env, const VideoInfo& vi,
                          const std::function<void(int n, VideoFrame& frame)>& writer);

    // Frame n (clamped), another reference to the held frame: plug-ins get it read-only.
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override;

private:
    ~MemoryClip() override = default;

    const std::vector<PVideoFrame> frames_;
};

}  // namespace standin
