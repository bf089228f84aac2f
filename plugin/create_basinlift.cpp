#include "create_basinlift.h"

#include <exception>
#include <new>

#include "argument_checks.h"
#include "basinlift_filter.h"

namespace {

constexpr char kFunctionName[] = "BasinLift";
constexpr char kNoMemoryForBuffers[] = "BasinLift: the frame is too large for the working buffers";
constexpr char kNoMemoryForFilter[] = "BasinLift: not enough memory to create the filter";

// Validates and constructs; returns the refusal message, or nullptr with *result built. Every
// handle taken here is released when it returns, so a refusal leaves no count raised.
const char* BuildFilter(AVSValue* result, const AVSValue& args, IScriptEnvironment* env) {
    const BasinLiftArguments a = ReadArguments(args);
    if (const char* refusal = FirstFailedCheck(a)) return refusal;

    const PClip segmentation = a.useclip ? a.sclip : a.input;
    BasinLiftFilter* filter = new (std::nothrow) BasinLiftFilter(
        a.input, a.sh, a.sm, a.c4, a.useclip, segmentation, a.smu, a.smv, env);
    if (!filter) return kNoMemoryForFilter;
    const PClip clip(filter);  // deletes the filter again if it is refused below
    if (!filter->HasWorkingBuffers()) return kNoMemoryForBuffers;
    new (result) AVSValue(clip);
    return nullptr;
}

}  // namespace

AVSValue* AVS_CDECL CreateBasinLift(AVSValue* result, AVSValueArg rawArgs, void*,
                                    IScriptEnvironment* env) {
    // Exceptions never cross into the host, and the host's error is raised only from here,
    // where nothing of ours holds a reference (the real host's error skips our destructors).
    const char* refusal = nullptr;
    try {
        const AVSValue args = AVSValue::Adopt(rawArgs);  // the callee owns a by-value argument
        refusal = BuildFilter(result, args, env);
    } catch (const std::bad_alloc&) {
        refusal = kNoMemoryForFilter;
    }
    if (refusal) env->ThrowError(refusal, kFunctionName);
    return result;
}
