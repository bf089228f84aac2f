#include "plugin_fixture.h"

#include "reference_pass.h"

std::vector<uint8_t> ExpectedChannel(const std::vector<uint8_t>& source,
                                     const std::vector<uint8_t>& segmentation, int width,
                                     int height, int factor, int sh, bool c4) {
    std::vector<uint8_t> out(source);
    const auto plane = [&](const std::vector<uint8_t>& values) {
        return PlaneView<const uint8_t>{values.data(), width, 1, width, height};
    };
    reference::ChannelPass(PlaneView<uint8_t>{out.data(), width, 1, width, height}, plane(source),
                           plane(segmentation), kEightBit, factor, sh, c4);
    return out;
}

std::vector<uint8_t> ChannelOf(const VideoFrame& frame, int plane, int offset, int step,
                               int width) {
    const int height = frame.GetHeight(plane);
    const uint8_t* base = frame.GetReadPtr(plane) + offset;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) out.push_back(base[y * frame.GetPitch(plane) + x * step]);
    return out;
}

std::vector<ChannelCase> ChannelsOf(int pixelType) {
    using C = ChannelCase;
    switch (pixelType) {
        case VideoInfo::CS_BGR24:
            return {{"blue", 0, 0, 3, 1, 1, C::kSm},
                    {"green", 0, 1, 3, 1, 1, C::kSm},
                    {"red", 0, 2, 3, 1, 1, C::kSm}};
        case VideoInfo::CS_BGR32:
            return {{"blue", 0, 0, 4, 1, 1, C::kSm},
                    {"green", 0, 1, 4, 1, 1, C::kSm},
                    {"red", 0, 2, 4, 1, 1, C::kSm},
                    {"alpha", 0, 3, 4, 1, 1, C::kNone}};
        case VideoInfo::CS_YUY2:
            return {{"Y", 0, 0, 2, 1, 1, C::kSm},
                    {"U", 0, 1, 4, 2, 1, C::kSmu},
                    {"V", 0, 3, 4, 2, 1, C::kSmv}};
        default:
            return {{"Y", PLANAR_Y, 0, 1, 1, 1, C::kSm},
                    {"U", PLANAR_U, 0, 1, 2, 2, C::kSmu},
                    {"V", PLANAR_V, 0, 1, 2, 2, C::kSmv}};
    }
}
