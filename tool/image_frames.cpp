#include "image_frames.h"

#include <cstddef>

namespace cli {
namespace {

// One row, swapping R and B; channels is 3 or 4. Separate loops per count let the
// compiler unroll each.
void swapRedBlue(const uint8_t* __restrict src, uint8_t* __restrict dst, int width, int channels) {
    if (channels == 3) {
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    } else {
        for (int x = 0; x < width; ++x, src += 4, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
    }
}

}  // namespace

VideoInfo videoInfoOf(const media::RgbImage& image) {
    VideoInfo vi{};
    vi.width = image.width;
    vi.height = image.height;
    vi.fps_numerator = 25;
    vi.fps_denominator = 1;
    vi.num_frames = 1;
    vi.pixel_type = image.hasAlpha ? VideoInfo::CS_BGR32 : VideoInfo::CS_BGR24;
    return vi;
}

void imageIntoFrame(const media::RgbImage& image, VideoFrame& frame) {
    uint8_t* const base = frame.GetWritePtr();
    const int pitch = frame.GetPitch();
    const size_t stride = image.stride();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.pixels.data() + static_cast<size_t>(y) * stride;
        uint8_t* dst = base + static_cast<ptrdiff_t>(image.height - 1 - y) * pitch;
        swapRedBlue(src, dst, image.width, image.channels());
    }
}

media::RgbImage frameToImage(const VideoFrame& frame, int width, int height, bool hasAlpha) {
    media::RgbImage image;
    image.width = width;
    image.height = height;
    image.hasAlpha = hasAlpha;
    image.pixels.resize(image.stride() * static_cast<size_t>(height));
    const uint8_t* const base = frame.GetReadPtr();
    const int pitch = frame.GetPitch();
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = base + static_cast<ptrdiff_t>(height - 1 - y) * pitch;
        uint8_t* dst = image.pixels.data() + static_cast<size_t>(y) * image.stride();
        swapRedBlue(src, dst, width, image.channels());
    }
    return image;
}

}  // namespace cli
