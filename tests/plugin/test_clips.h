// Clips with behaviour the stand-in host's sources don't have, for creation and fault tests.
#pragma once

#include <atomic>
#include <functional>

#include "avisynth.h"
#include "info_only_clip.h"

using standin::InfoOnlyClip;

// Forwards to another clip, but first runs a hook that may raise the host's error or arm a
// fault; the hook sees the frame number.
class HookedClip final : public IClip {
public:
    using Hook = std::function<void(int n, IScriptEnvironment* env)>;
    HookedClip(const PClip& inner, Hook before, Hook after = nullptr)
        : inner_(inner), before_(std::move(before)), after_(std::move(after)) {}
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override {
        ++calls;
        if (before_) before_(n, env);
        PVideoFrame frame = inner_->GetFrame(n, env);
        if (after_) after_(n, env);
        return frame;
    }
    bool AVS_STDCALL GetParity(int n) override { return inner_->GetParity(n); }
    void AVS_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                              IScriptEnvironment* env) override {
        inner_->GetAudio(buf, start, count, env);
    }
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return inner_->GetVideoInfo(); }

    std::atomic<int> calls{0};

private:
    PClip inner_;
    Hook before_;
    Hook after_;
};
