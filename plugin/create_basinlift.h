// Creation of the "BasinLift" script function: defaults, validation, construction.
#pragma once

#include "avisynth.h"

// The host's creation callback: builds the filter clip in *result, or raises the host's
// script error with the message of the first check that the arguments fail.
AVSValue* AVS_CDECL CreateBasinLift(AVSValue* result, AVSValueArg args, void* user_data,
                                    IScriptEnvironment* env);
