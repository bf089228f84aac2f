#include "argument_checks.h"

#include "working_buffers.h"

namespace {

constexpr int kBgr24 = VideoInfo::CS_BGR24;
constexpr int kBgr32 = VideoInfo::CS_BGR32;
constexpr int kYuy2 = VideoInfo::CS_YUY2;
constexpr int kYv12 = VideoInfo::CS_YV12;
constexpr int kI420 = VideoInfo::CS_I420;

// Exact values only: newer hosts hand classic plug-ins formats (YV16, YV24, high bit depths,
// BGR48) whose pixel_type contains every bit of one of these, with planes of another size or
// depth than the driver would walk.
bool IsRgb(int t) { return t == kBgr24 || t == kBgr32; }
bool IsYuv(int t) { return t == kYuy2 || t == kYv12 || t == kI420; }
bool IsPlanar420(int t) { return t == kYv12 || t == kI420; }
bool OutOfRange(int value, int low, int high) { return value < low || value > high; }

}  // namespace

BasinLiftArguments ReadArguments(const AVSValue& args) {
    BasinLiftArguments a;
    a.input = args[0].AsClip();
    a.sh = args[1].AsInt(a.sh);
    a.sm = args[2].AsInt(a.sm);
    a.c4 = args[3].AsBool(a.c4);
    a.useclip = args[4].AsBool(a.useclip);
    a.sclip = args[5].AsClip();
    a.smu = args[6].AsInt(a.smu);
    a.smv = args[7].AsInt(a.smv);
    return a;
}

const char* FirstFailedCheck(const BasinLiftArguments& a) {
    if (!a.input) return "%s: This color format is not supported by this old avisynth version";
    const VideoInfo& vi = a.input->GetVideoInfo();
    const int type = vi.pixel_type;

    // 1
    if (!IsRgb(type) && !IsYuv(type))
        return "%s: This color format is not supported by this old avisynth version";
    // A clip without pixels, or whose chroma would be empty or lose a column, would make the
    // driver read before its buffers or leave output bytes unwritten.
    if (vi.width < 1 || vi.height < 1)
        return "BasinLift: the clip must be at least 1 pixel wide and high";
    if ((IsYuv(type) && vi.width % 2 != 0) || (IsPlanar420(type) && vi.height % 2 != 0))
        return "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height";
    // 2, 3
    if (OutOfRange(a.sh, -10, 10))
        return "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10";
    if (OutOfRange(a.sm, 0, 10))
        return "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10";
    // 4
    if (IsRgb(type) && a.sh == 0 && a.sm == 0) return "BasinLift: sh and sm both can not be zero";
    // 5, 6, 7
    if (a.useclip) {
        if (!a.sclip) return "BasinLift:For useclip option sclip must be defined";
        if (a.sclip == a.input)
            return "BasinLift:clip to be smoothed and sclip must not be identical";
        const VideoInfo& si = a.sclip->GetVideoInfo();
        if (si.pixel_type != type || si.width != vi.width || si.height != vi.height ||
            si.num_frames != vi.num_frames)
            return "BasinLift: The two clips have either dissimilar color format orunequal frame "
                   "dimensions or unequal number of frames";
    }
    // 8, 9, 10
    if (IsYuv(type)) {
        if (OutOfRange(a.smu, 0, 10))
            return "BasinLift: u smoothening factor smu must be between 0 and 10";
        if (OutOfRange(a.smv, 0, 10))
            return "BasinLift: v smoothening factor smv must be between 0 and 10";
        if (a.sh == 0 && a.sm == 0 && a.smu == 0 && a.smv == 0)
            return "BasinLift: sh, sm, smu and smv  values are zero";
    }
    if (!WorkingBuffersFit(vi.width, vi.height))
        return "BasinLift: the frame is too large for the working buffers";
    return nullptr;
}
