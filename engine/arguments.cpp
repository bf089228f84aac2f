#include "arguments.h"

#include <cstdint>
#include <cstdio>

#include "working_buffers.h"

namespace engine {


namespace {

constexpr char kNothingToDoRgb[] = "BasinLift: sh and sm both can not be zero";
constexpr char kNothingToDoYuv[] = "BasinLift: sh, sm, smu and smv  values are zero";
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

const char* RangeRefusal(ArgumentIndex index, int value, const VideoFormat& format) {
    const ArgumentSpec& argument = kArguments[index];
    if (argument.scope == RangeScope::YuvOnly && !IsYuv(format)) return nullptr;
    return value < argument.low || value > argument.high ? argument.rangeRefusal : nullptr;
}

// The layouts of the classic host's own YUV formats, whose refusal names them.
bool ClassicSubsampling(const VideoFormat& format) {
    return format.layout == Layout::PackedYuy2 ||
           (format.chromaShiftX == 1 && format.chromaShiftY == 1);
}

const char* TypeName(ArgumentType type) {
    switch (type) {
        case ArgumentType::Clip: return "clip";
        case ArgumentType::Int: return "int";
        case ArgumentType::Bool: return "bool";
    }
    return "";
}

}  // namespace

FilterSettings DefaultSettings() {
    FilterSettings settings;
    for (const ArgumentSpec& argument : kArguments)
        if (argument.type != ArgumentType::Clip) SetArgument(settings, argument, argument.defaultValue);
    return settings;
}

void SetArgument(FilterSettings& settings, const ArgumentSpec& argument, int value) {
    if (argument.intField) settings.*argument.intField = value;
    if (argument.boolField) settings.*argument.boolField = value != 0;
}

std::string VapourSynthSignature() {
    std::string signature;
    for (const ArgumentSpec& argument : kArguments) {
        if (argument.impliedBySclip) continue;
        // VapourSynth has no booleans: c4 is an int, 0 or 1.
        signature += std::string(argument.name) + (argument.type == ArgumentType::Clip ? ":vnode" : ":int") +
                     (argument.optional ? ":opt;" : ";");
    }
    return signature;
}

std::string ArgumentHelp() {
    std::string help;
    for (const ArgumentSpec& argument : kArguments) {
        if (!argument.optional) continue;
        std::string line = std::string("  ") + argument.name + " (" + TypeName(argument.type);
        if (argument.type == ArgumentType::Int)
            line += ", " + std::to_string(argument.low) + " to " + std::to_string(argument.high) +
                    (argument.scope == RangeScope::YuvOnly ? " for YUV" : "") + ", default " +
                    std::to_string(argument.defaultValue);
        else if (argument.type == ArgumentType::Bool)
            line += std::string(", default ") + (argument.defaultValue ? "true" : "false");
        help += line + "): " + argument.help + "\n";
    }
    return help;
}

const char* FirstFailedCheck(const ClipFacts& input, const FilterSettings& s,
                             const SclipFacts& sclip) {
    if (!input.format) return kUnsupportedFormatRefusal;
    const VideoFormat& format = *input.format;
    if (input.width < 1 || input.height < 1) return kNoPixels;
    if (!FitsSubsampling(format, input.width, input.height))
        return ClassicSubsampling(format) ? kOddSize420 : kOddSizeOther;
    if (const char* refusal = RangeRefusal(kArgSh, s.sh, format)) return refusal;
    if (const char* refusal = RangeRefusal(kArgSm, s.sm, format)) return refusal;
    if (IsRgb(format) && s.sh == 0 && s.sm == 0) return kNothingToDoRgb;
    if (s.useclip) {
        if (!sclip.given) return kSclipMissing;
        if (sclip.sameAsInput) return kSclipIdentical;
        const ClipFacts& other = sclip.facts;
        if (!sclip.sameFormat || other.width != input.width || other.height != input.height ||
            other.frames != input.frames)
            return kSclipDiffersRefusal;
    }
    if (const char* refusal = RangeRefusal(kArgSmu, s.smu, format)) return refusal;
    if (const char* refusal = RangeRefusal(kArgSmv, s.smv, format)) return refusal;
    if (IsYuv(format) && s.sh == 0 && s.sm == 0 && s.smu == 0 && s.smv == 0)
        return kNothingToDoYuv;
    if (!WorkingBuffersFit(input.width, input.height)) return kTooLarge;
    return nullptr;
}

std::string RefusalText(const char* refusal) {
    char text[256];
    std::snprintf(text, sizeof text, refusal, kFunctionName);
    return text;
}

}  // namespace engine
