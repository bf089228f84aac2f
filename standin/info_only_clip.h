// A clip that only describes itself: for what reads a clip's VideoInfo and nothing else, such
// as argument checks, including geometry the host could not make frames of.
#pragma once

#include <avisynth.h>

namespace standin {

class InfoOnlyClip final : public IClip {
public:
    explicit InfoOnlyClip(const VideoInfo& vi) : vi_(vi) {}
    PVideoFrame GetFrame(int, IScriptEnvironment* env) override {
        env->ThrowError("InfoOnlyClip has no frames");
        return PVideoFrame();  // not reached; GCC does not see [[noreturn]] through the call
    }
    bool AVS_STDCALL GetParity(int) override { return false; }
    void AVS_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi_; }

private:
    VideoInfo vi_;
};

}  // namespace standin
