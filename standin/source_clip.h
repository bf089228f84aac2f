// What the stand-in host's source clips share: everything but how frames are made.
// Source clips are created with new and held by PClip; the last PClip deletes them.
#pragma once

#include <avisynth.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace standin {

class SourceClip : public IClip {
public:
    bool AVS_STDCALL GetParity(int n) override;
    // Fills count samples of every channel: silence (zero bytes) unless an audio pattern is
    // set. Throws AvisynthError when the byte count does not fit in memory.
    void AVS_STDCALL GetAudio(void* buf, int64_t start, int64_t count,
                              IScriptEnvironment* env) override;
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi_; }

    // Parity of every frame (true: top field first). False unless set.
    void SetParity(bool topFieldFirst) { topFieldFirst_.store(topFieldFirst); }
    // Audio bytes repeat this pattern, counted from the clip's first sample, so separate
    // requests join up. Set it before the clip is shared between threads.
    void SetAudioPattern(std::vector<uint8_t> pattern) { audioPattern_ = std::move(pattern); }

protected:
    explicit SourceClip(const VideoInfo& vi) : vi_(vi) {}
    ~SourceClip() override = default;

    // Frame numbers out of range give the first or last frame, as the host's sources do.
    // Throws AvisynthError for a clip without frames.
    int ClampFrame(int n, IScriptEnvironment* env) const;

    const VideoInfo vi_;

private:
    std::atomic<bool> topFieldFirst_{false};
    std::vector<uint8_t> audioPattern_;
};

}  // namespace standin
