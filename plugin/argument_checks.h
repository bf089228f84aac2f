// The arguments of "BasinLift", their defaults, and the checks that refuse a call before any
// filter exists. Kept apart from the host calls so the table reads as one piece.
#pragma once

#include "avisynth.h"

// Effective values: what the script gave, or the default where it left an argument out.
struct BasinLiftArguments {
    PClip input;
    int sh = -2;  // boundary amplification, percent over 100; negative by default
    int sm = 2;   // smoothing of the RGB channels or Y
    bool c4 = true;
    bool useclip = false;
    PClip sclip;  // null when not given (or not a clip)
    int smu = 0;
    int smv = 0;
};

// Reads the eight-element argument array of the script call.
BasinLiftArguments ReadArguments(const AVSValue& args);

// The message of the first check that the arguments fail, in table order, or nullptr when
// all pass. A message is a printf-style format; where it has a conversion, that takes the
// function's name.
const char* FirstFailedCheck(const BasinLiftArguments& a);
