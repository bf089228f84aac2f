#include "frame_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "format.h"
#include "host_error.h"

namespace standin {
namespace {

int BytesPerPixel(int pixelType) {
    switch (pixelType) {
        case VideoInfo::CS_BGR24: return 3;
        case VideoInfo::CS_BGR32: return 4;
        case VideoInfo::CS_YUY2: return 2;
        case VideoInfo::CS_YV12:
        case VideoInfo::CS_I420: return 1;  // of the Y plane
        default: return 0;
    }
}

int64_t RoundUp(int64_t value, int64_t multiple) { return (value + multiple - 1) / multiple * multiple; }

void CheckRequest(const VideoInfo& vi) {
    if (BytesPerPixel(vi.pixel_type) == 0)
        throw HostError(Format("NewVideoFrame: invalid pixel_type 0x%08X",
                               static_cast<unsigned>(vi.pixel_type)));
    if (vi.width < 1 || vi.height < 1)
        throw HostError(Format("NewVideoFrame: invalid frame size %dx%d", vi.width, vi.height));
    if (vi.pixel_type == VideoInfo::CS_YUY2 && (vi.width & 1))
        throw HostError("Attempted to request a YUY2 frame that wasn't mod2 in width!");
    if (vi.IsPlanar() && ((vi.width | vi.height) & 1))
        throw HostError("Attempted to request an YV12 frame that wasn't mod2 in width and height!");
}

}  // namespace

FrameLayout ComputeFrameLayout(const VideoInfo& vi, int align, int extraPitch) {
    // A negative alignment asks for exactly that boundary; others get at least FRAME_ALIGN.
    const int64_t boundary = align < 0 ? -static_cast<int64_t>(align)
                                       : std::max<int64_t>(align, FRAME_ALIGN);
    if (boundary > kMaxFrameAlign)
        throw HostError(Format("NewVideoFrame: alignment %d is too large", align));
    CheckRequest(vi);

    const int64_t rowSize = static_cast<int64_t>(vi.width) * BytesPerPixel(vi.pixel_type);
    const int64_t pitch = RoundUp(rowSize, boundary) + RoundUp(std::max(extraPitch, 0), boundary);
    const int64_t height = vi.height;
    const auto tooLarge = [&] {
        return HostError(Format("NewVideoFrame: a %dx%d frame is too large", vi.width, vi.height));
    };
    if (pitch > INT_MAX) throw tooLarge();

    FrameLayout layout{};
    layout.align = static_cast<int>(boundary);
    layout.pitch = static_cast<int>(pitch);
    layout.rowSize = static_cast<int>(rowSize);
    layout.height = vi.height;

    int64_t dataSize = pitch * height;
    if (vi.IsPlanar()) {
        // Legacy chroma layout: half the luma pitch, so chroma rows are only guaranteed half
        // the requested alignment, as with the real host outside its chroma-aligned mode.
        const int64_t pitchUV = pitch / 2;
        const int64_t firstChroma = pitch * height;
        const int64_t secondChroma = firstChroma + pitchUV * (height / 2);
        dataSize = secondChroma + pitchUV * (height / 2);
        if (dataSize + boundary - 1 > INT_MAX) throw tooLarge();

        layout.pitchUV = static_cast<int>(pitchUV);
        layout.rowSizeUV = vi.width / 2;
        layout.heightUV = vi.height / 2;
        const bool uFirst = vi.pixel_type == VideoInfo::CS_I420;
        layout.offsetU = static_cast<int>(uFirst ? firstChroma : secondChroma);
        layout.offsetV = static_cast<int>(uFirst ? secondChroma : firstChroma);
    } else if (dataSize + boundary - 1 > INT_MAX) {
        throw tooLarge();
    }
    layout.dataSize = static_cast<int>(dataSize);
    return layout;
}

}  // namespace standin
