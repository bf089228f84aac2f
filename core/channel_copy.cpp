#include "channel_copy.h"

#include <cstring>
#include <type_traits>

template <typename Sample>
void ExtractChannel(ChannelScratch<Sample> scratch, SourcePlane<Sample> src, SampleRange range) {
    if (src.width < 1) return;
    Sample* out = scratch.channel;
    const ptrdiff_t stride = src.Stride();
    for (int y = 0; y < src.height; ++y, out += src.width) {
        const Sample* in = src.Row(y);
        if constexpr (std::is_floating_point_v<Sample>) {
            for (int x = 0; x < src.width; ++x) out[x] = ReadFloatSample(in[x * stride], range.offset);
        } else if (stride == 1) {
            std::memcpy(out, in, sizeof(Sample) * static_cast<size_t>(src.width));
        } else {
            for (int x = 0; x < src.width; ++x) out[x] = in[x * stride];
        }
    }
}

template <typename Sample>
void CopyChannel(PlaneView<Sample> dst, SourcePlane<Sample> src) {
    if (src.width < 1) return;
    const ptrdiff_t stride = src.Stride();  // dst's too
    for (int y = 0; y < src.height; ++y) {
        Sample* out = dst.Row(y);
        const Sample* in = src.Row(y);
        if (stride == 1) {
            std::memcpy(out, in, sizeof(Sample) * static_cast<size_t>(src.width));
            continue;
        }
        for (int x = 0; x < src.width; ++x) out[x * stride] = in[x * stride];
    }
}

template void ExtractChannel(ChannelScratch<uint8_t>, SourcePlane<uint8_t>, SampleRange);
template void ExtractChannel(ChannelScratch<uint16_t>, SourcePlane<uint16_t>, SampleRange);
template void ExtractChannel(ChannelScratch<float>, SourcePlane<float>, SampleRange);
template void CopyChannel(PlaneView<uint8_t>, SourcePlane<uint8_t>);
template void CopyChannel(PlaneView<uint16_t>, SourcePlane<uint16_t>);
template void CopyChannel(PlaneView<float>, SourcePlane<float>);
