#include "create_basinlift.h"

#include <exception>
#include <new>
#include <optional>

#include "arguments.h"
#include "basinlift_filter.h"

namespace {

// Exact values only: newer hosts hand classic plug-ins formats (YV16, YV24, high bit depths,
// BGR48) whose pixel_type contains every bit of one of these, with planes of another size or
// depth than the filter would walk.
const engine::PixelFormat* PixelsOf(int pixelType) {
    switch (pixelType) {
        case VideoInfo::CS_BGR24: return &engine::kBgr24;
        case VideoInfo::CS_BGR32: return &engine::kBgr32;
        case VideoInfo::CS_YUY2: return &engine::kYuy2;
        case VideoInfo::CS_YV12:
        case VideoInfo::CS_I420: return &engine::kYuv420;
        default: return nullptr;
    }
}

engine::ClipFacts FactsOf(const PClip& clip) {
    const VideoInfo& vi = clip->GetVideoInfo();
    // The classic host's samples are bytes.
    return {{PixelsOf(vi.pixel_type), engine::kByteSamples}, vi.width, vi.height, vi.num_frames};
}

// Every integer and boolean argument as the host's accessors read it: the value when it has
// the parameter's type, the default otherwise.
engine::FilterSettings ReadSettings(const AVSValue& args) {
    return engine::ReadSettings([&](int i, const engine::ArgumentRule& argument) {
        const AVSValue& value = args[i];
        std::optional<int64_t> given;
        if (argument.type == engine::ArgumentType::Int && value.IsInt()) given = value.AsInt();
        if (argument.type == engine::ArgumentType::Bool && value.IsBool()) given = value.AsBool();
        return given;
    });
}

// Validates and constructs; returns the refusal, or nullptr with the filter in `filter`. Every
// other handle taken here is released when it returns, so a refusal leaves no count raised.
const char* BuildFilter(PClip& filter, const AVSValue& args) {
    const PClip input = args[engine::kArgClip].AsClip();
    if (!input) return engine::kUnsupportedFormatRefusal;
    const engine::FilterSettings settings = ReadSettings(args);
    const PClip sclip = args[engine::kArgSclip].AsClip();

    const engine::ClipFacts facts = FactsOf(input);
    engine::SclipFacts sclipFacts{bool(sclip), sclip == input, {}, false};
    if (settings.useclip && sclip && sclip != input) {
        sclipFacts.facts = FactsOf(sclip);
        sclipFacts.sameFormat = sclip->GetVideoInfo().pixel_type == input->GetVideoInfo().pixel_type;
    }
    if (const char* refusal = engine::FirstFailedCheck(facts, settings, sclipFacts))
        return refusal;

    const PClip segmentation = settings.useclip ? sclip : input;
    filter = new BasinLiftFilter(input, facts.format, settings, segmentation);
    return nullptr;
}

// Exceptions never cross into the host, and the host's error is raised only from the callers,
// where nothing of ours holds a reference (the Microsoft-built host's error skips our
// destructors).
const char* Create(PClip& filter, const AVSValue& args) {
    try {
        return BuildFilter(filter, args);
    } catch (const std::bad_alloc&) {
        return engine::kOutOfMemoryRefusal;
    }
}

// AviSynth+ is not old, and has the C-interface plug-in for the formats this one lacks; the
// classic hosts keep their own words, which scripts may match.
constexpr char kUnsupportedInAvisynthPlus[] =
    "BasinLift: this color format is not supported by the classic plug-in BasinLift, which takes "
    "RGB24, RGB32, YUY2, YV12 and I420; BasinLiftC, the C-interface plug-in, takes the others";

const char* RefusalFor(const char* refusal, IScriptEnvironment* env) {
    // A script function that every AviSynth+ has and no classic AviSynth.
    if (refusal == engine::kUnsupportedFormatRefusal && env->FunctionExists("AddAutoloadDir"))
        return kUnsupportedInAvisynthPlus;
    return refusal;
}

// The filter's frames carry the input's frame properties where the host has them: the classic
// interface makes frames without, so the host's own propCopy puts them on, as its own filters
// keep them. Downstream conversions read _Matrix, _ColorRange and the like.
AVSValue WithProperties(const PClip& filter, const PClip& input, IScriptEnvironment* env) {
    if (!env->FunctionExists("propCopy")) return AVSValue(filter);
    const AVSValue clips[2] = {AVSValue(filter), AVSValue(input)};
    return env->Invoke("propCopy", AVSValue(clips, 2));
}

}  // namespace

#if AVS_MSVC_LAYOUT
AVSValue* AVS_CDECL CreateBasinLift(AVSValue* result, AVSValueArg rawArgs, void*,
                                    IScriptEnvironment* env) {
    const char* refusal = nullptr;
    {
        const AVSValue args = AVSValue::Adopt(rawArgs);  // the callee owns a by-value argument
        PClip filter;
        refusal = Create(filter, args);
        if (!refusal) new (result) AVSValue(WithProperties(filter, args[engine::kArgClip].AsClip(), env));
    }
    if (refusal) env->ThrowError(RefusalFor(refusal, env), engine::kFunctionName);
    return result;
}
#else
AVSValue CreateBasinLift(AVSValue args, void*, IScriptEnvironment* env) {
    PClip filter;
    if (const char* refusal = Create(filter, args))
        env->ThrowError(RefusalFor(refusal, env), engine::kFunctionName);
    // After a successful creation call, AviSynth+ on POSIX releases every clip of the argument
    // array once more. That release balances the reference that the callee-destroyed copy of
    // the arguments keeps under Microsoft's conventions; under GCC's the host has destroyed its
    // copy itself, so the release is one too many and would free the clips under the filter.
    // One reference per clip, taken here and never dropped, makes up for it. A refused call
    // is not released again, so this happens only on success.
    for (int i = 0; i < args.ArraySize(); ++i)
        if (args[i].IsClip()) AddClipReference(args[i].AsClip().get());
    return WithProperties(filter, args[engine::kArgClip].AsClip(), env);
}
#endif
