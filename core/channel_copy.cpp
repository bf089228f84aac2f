#include "channel_copy.h"

#include <cstring>

template <typename Sample>
void ExtractChannel(ChannelScratch<Sample> scratch, SourcePlane<Sample> src,
                    SampleRange) {
    if (src.width < 1) return;
    Sample* out = scratch.channel;
    for (int y = 0; y < src.height; ++y, out += src.width) {
        const Sample* in = src.Row(y);
        if (src.Packed()) {
            std::memcpy(out, in, sizeof(Sample) * static_cast<size_t>(src.width));
            continue;
        }
        for (int x = 0; x < src.width; ++x) out[x] = src.At(in, x);
    }
}

template <typename Sample>
void CopyChannel(PlaneView<Sample> dst, SourcePlane<Sample> src) {
    if (src.width < 1) return;
    for (int y = 0; y < src.height; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        if (src.Packed()) {
            std::memcpy(out, in, sizeof(Sample) * static_cast<size_t>(src.width));
            continue;
        }
        for (int x = 0; x < src.width; ++x) dst.At(out, x) = src.At(in, x);
    }
}

template void ExtractChannel(ChannelScratch<uint8_t>, PlaneView<const uint8_t>,
                             SampleRange);
template void CopyChannel(PlaneView<uint8_t>, PlaneView<const uint8_t>);
