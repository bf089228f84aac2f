#include "memory_clip.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "frame_tools.h"

namespace standin {
namespace {

void CheckFrames(const VideoInfo& vi, const std::vector<PVideoFrame>& frames) {
    if (frames.size() != static_cast<size_t>(std::max(vi.num_frames, 0)))
        throw std::invalid_argument("MemoryClip: the frame count differs from num_frames");
    const std::vector<PlaneSize> sizes = PlaneSizes(vi);
    for (const PVideoFrame& frame : frames) {
        if (!frame) throw std::invalid_argument("MemoryClip: missing frame");
        const std::vector<PlaneView> planes = ReadPlanes(*frame.get());
        bool same = planes.size() == sizes.size();
        for (size_t i = 0; same && i < sizes.size(); ++i) {
            const PlaneView& plane = ReadPlane(*frame.get(), sizes[i].plane);
            same = plane.rowSize == sizes[i].rowSize && plane.height == sizes[i].height;
        }
        if (!same) throw std::invalid_argument("MemoryClip: a frame's size differs from the clip's");
    }
}

}  // namespace

MemoryClip::MemoryClip(const VideoInfo& vi, std::vector<PVideoFrame> frames)
    : SourceClip(vi), frames_((CheckFrames(vi, frames), std::move(frames))) {}

PClip MemoryClip::Generate(IScriptEnvironment& env, const VideoInfo& vi,
                           const std::function<void(int n, VideoFrame& frame)>& writer) {
    std::vector<PVideoFrame> frames;
    for (int n = 0; n < vi.num_frames; ++n) {
        frames.push_back(env.NewVideoFrame(vi));
        writer(n, *frames.back().get());
    }
    return PClip(new MemoryClip(vi, std::move(frames)));
}

PVideoFrame MemoryClip::GetFrame(int n, IScriptEnvironment* env) {
    return frames_[static_cast<size_t>(ClampFrame(n, env))];
}

}  // namespace standin
