// Clips with behaviour the stand-in host's sources don't have, for creation and fault tests.
#pragma once

#include <atomic>
#include <functional>

#include "avisynth.h"

// A clip that only describes itself: creation reads nothing else.
class InfoOnlyClip final : public IClip {
public:
    explicit InfoOnlyClip(const VideoInfo& vi) : vi_(vi) {}
    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame*, int, IScriptEnvironment* env) override {
        env->ThrowError("InfoOnlyClip has no frames");
        return nullptr;
    }
    bool AVS_STDCALL GetParity(int) override { return false; }
    void AVS_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi_; }

private:
    VideoInfo vi_;
};

// Forwards to another clip, but first runs a hook that may raise the host's error or arm a
// fault; the hook sees the frame number.
class HookedClip final : public IClip {
public:
    using Hook = std::function<void(int n, IScriptEnvironment* env)>;
    HookedClip(const PClip& inner, Hook before, Hook after = nullptr)
        : inner_(inner), before_(std::move(before)), after_(std::move(after)) {}
    PVideoFrame* AVS_STDCALL GetFrame_(PVideoFrame* result, int n,
                                       IScriptEnvironment* env) override {
        ++calls;
        if (before_) before_(n, env);
        inner_->GetFrame_(result, n, env);
        if (after_) after_(n, env);
        return result;
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
