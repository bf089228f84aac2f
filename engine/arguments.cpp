#include "arguments.h"

#include <climits>
#include <cstdint>
#include <cstdio>

#include "frame_plan.h"
#include "working_buffers.h"

namespace engine {

namespace {

constexpr char kNothingToDoRgb[] = "BasinLift: sh and sm both can not be zero";
constexpr char kNothingToDoYuv[] = "BasinLift: sh, sm, smu and smv  values are zero";
constexpr char kNothingToDoGray[] =
    "BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv";
constexpr char kSclipMissing[] = "BasinLift:For useclip option sclip must be defined";
constexpr char kSclipIdentical[] = "BasinLift:clip to be smoothed and sclip must not be identical";
// A clip without pixels, or whose chroma would be empty or lose a column, would leave output
// bytes unwritten.
constexpr char kNoPixels[] = "BasinLift: the clip must be at least 1 pixel wide and high";
constexpr char kOddSize420[] =
    "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height";
constexpr char kOddSizeOther[] =
    "BasinLift: the width and height must divide by the chroma subsampling of the format";
constexpr char kTooLarge[] = "BasinLift: the frame is too large for the working buffers";

const char* RangeRefusal(ArgumentIndex index, int value, const PixelFormat& format,
                         HostRules rules) {
    const ArgumentRule& argument = kArguments[index];
    if (argument.scope == RangeScope::NotOnAvisynthRgb && rules == HostRules::Avisynth &&
        IsRgb(format))
        return nullptr;
    return value < argument.low || value > argument.high ? argument.rangeRefusal : nullptr;
}

// The layouts of the classic host's own YUV formats, whose refusal names them.
bool ClassicSubsampling(const PixelFormat& format) {
    return format.layout == Layout::PackedYuy2 ||
           (format.chromaShiftX == 1 && format.chromaShiftY == 1);
}

}  // namespace

FilterSettings DefaultSettings() {
    return ReadSettings([](int, const ArgumentRule&) { return std::nullopt; });
}

FilterSettings ReadSettings(const ArgumentLookup& lookup) {
    FilterSettings settings;
    for (int i = 0; i < kArgumentCount; ++i) {
        const ArgumentRule& argument = kArguments[i];
        if (argument.type == ArgumentType::Clip) continue;
        const int64_t value = lookup(i, argument).value_or(argument.defaultValue);
        if (argument.intField)
            settings.*argument.intField =
                static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
        if (argument.boolField) settings.*argument.boolField = value != 0;
    }
    return settings;
}

std::string VapourSynthSignature() {
    std::string signature;
    for (const ArgumentRule& argument : kArguments) {
        if (argument.impliedBySclip) continue;
        // VapourSynth has no booleans: c4 is an int, 0 or 1.
        signature += std::string(argument.name) + (argument.type == ArgumentType::Clip ? ":vnode" : ":int") +
                     (argument.optional ? ":opt;" : ";");
    }
    return signature;
}

const char* FirstFailedCheck(const ClipFacts& input, const FilterSettings& s,
                             const SclipFacts& sclip, HostRules rules) {
    if (!input.format.pixels || !SupportedSamples(input.format.samples))
        return kUnsupportedFormatRefusal;
    const PixelFormat& format = *input.format.pixels;
    if (input.width < 1 || input.height < 1) return kNoPixels;
    if (!FitsSubsampling(format, input.width, input.height))
        return ClassicSubsampling(format) ? kOddSize420 : kOddSizeOther;
    if (const char* refusal = RangeRefusal(kArgSh, s.sh, format, rules)) return refusal;
    if (const char* refusal = RangeRefusal(kArgSm, s.sm, format, rules)) return refusal;
    // Whether the call would change any plane of this format at all.
    const bool changesNothing =
        !FramePlan(input.format, input.width, input.height, s).ProcessesAnything();
    if (IsRgb(format) && changesNothing) return kNothingToDoRgb;
    if (s.useclip) {
        if (!sclip.given) return kSclipMissing;
        if (sclip.sameAsInput) return kSclipIdentical;
        const ClipFacts& other = sclip.facts;
        if (!sclip.sameFormat || other.width != input.width || other.height != input.height ||
            other.frames != input.frames)
            return kSclipDiffersRefusal;
    }
    if (const char* refusal = RangeRefusal(kArgSmu, s.smu, format, rules)) return refusal;
    if (const char* refusal = RangeRefusal(kArgSmv, s.smv, format, rules)) return refusal;
    if (changesNothing) return HasChroma(format) ? kNothingToDoYuv : kNothingToDoGray;
    if (!WorkingBuffersFit(input.width, input.height)) return kTooLarge;
    return nullptr;
}

std::string RefusalText(const char* refusal) {
    char text[256];
    std::snprintf(text, sizeof text, refusal, kFunctionName);
    return text;
}

}  // namespace engine
