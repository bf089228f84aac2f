// Creation of the "BasinLift" script function in the classic host: the arguments read with the
// host's own accessors, the checks, the construction of the filter.
#pragma once

#include "avisynth.h"

// The host's creation callback: builds the filter clip, or raises the host's script error
// with the text of the first check that the arguments fail.
#if AVS_MSVC_LAYOUT
AVSValue* AVS_CDECL CreateBasinLift(AVSValue* result, AVSValueArg args, void* user_data,
                                    IScriptEnvironment* env);
#else
AVSValue CreateBasinLift(AVSValue args, void* userData, IScriptEnvironment* env);
#endif
