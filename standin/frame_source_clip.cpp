#include "frame_source_clip.h"

#include <exception>
#include <new>

namespace standin {

PVideoFrame FrameSourceClip::GetFrame(int n, IScriptEnvironment* env) {
    const int index = ClampFrame(n, env);
    PVideoFrame frame = env->NewVideoFrame(vi_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            writer_(index, *frame.get());
        } catch (const std::exception& e) {
            env->ThrowError("frame source: frame %d: %s", index, e.what());
        }
    }
    return frame;
}

}  // namespace standin
