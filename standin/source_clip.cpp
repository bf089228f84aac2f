#include "source_clip.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>

namespace standin {
namespace {

int BytesPerSample(int sampleType) {
    switch (sampleType) {
        case SAMPLE_INT8: return 1;
        case SAMPLE_INT16: return 2;
        case SAMPLE_INT24: return 3;
        case SAMPLE_INT32:
        case SAMPLE_FLOAT: return 4;
        default: return 0;
    }
}

}  // namespace

bool SourceClip::GetParity(int) { return topFieldFirst_.load(); }

int SourceClip::ClampFrame(int n, IScriptEnvironment* env) const {
    if (vi_.num_frames <= 0) env->ThrowError("source clip: the clip has no frames");
    return std::clamp(n, 0, vi_.num_frames - 1);
}

void SourceClip::GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) {
    const int64_t frameBytes = static_cast<int64_t>(std::max(vi_.nchannels, 0)) *
                               BytesPerSample(vi_.sample_type);
    if (count <= 0 || frameBytes == 0) return;
    const auto maxBytes = static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max());
    if (static_cast<uint64_t>(count) > maxBytes / static_cast<uint64_t>(frameBytes))
        env->ThrowError("GetAudio: %lld samples of %lld bytes do not fit in memory",
                        static_cast<long long>(count), static_cast<long long>(frameBytes));
    if (!buf) env->ThrowError("GetAudio: no buffer");

    const auto total = static_cast<size_t>(count * frameBytes);
    auto* bytes = static_cast<uint8_t*>(buf);
    if (audioPattern_.empty()) {
        std::memset(bytes, 0, total);
        return;
    }
    // Position of the first byte within the pattern, from the first sample on; each factor
    // is reduced first so the product cannot overflow.
    const auto period = static_cast<int64_t>(audioPattern_.size());
    const int64_t startInPeriod = (start % period + period) % period;
    size_t index = static_cast<size_t>(startInPeriod * (frameBytes % period) % period);
    for (size_t i = 0; i < total; ++i) {
        bytes[i] = audioPattern_[index];
        if (++index == audioPattern_.size()) index = 0;
    }
}

}  // namespace standin
