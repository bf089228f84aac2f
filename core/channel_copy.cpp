#include "channel_copy.h"

#include <cstddef>

void ExtractChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height) {
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcPitch;
        for (int x = 0; x < width; ++x) out[x] = in[static_cast<ptrdiff_t>(x) * step];
    }
}

void CopyChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                 int width, int height) {
    for (int y = 0; y < height; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        const uint8_t* in = src + static_cast<ptrdiff_t>(y) * srcPitch;
        for (int x = 0; x < width; ++x) {
            const ptrdiff_t at = static_cast<ptrdiff_t>(x) * step;
            out[at] = in[at];
        }
    }
}
