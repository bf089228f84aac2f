// --regions: a run writes what the filter sees instead of what it makes. The view is a clip
// over the input, one per worker as the filters are, whose frames have the filter's format,
// size and count, so pictures, video, pipes, --frames and --threads write it as they write
// filtered frames. It drives the engine and the core linked into this program directly (see
// region_paint.h for the painting); the plug-in is called only to accept or refuse the
// arguments, so that a refusal reads exactly as when filtering.
#pragma once

#include <avisynth.h>

#include <vector>

#include "runs.h"
#include "script_environment.h"

namespace cli {

// `count` views of input's regions under the arguments (host values, sclip loaded), each
// with its own buffers. The plug-in is invoked once first and its filter dropped before any
// view takes memory. Throws AvisynthError (the plug-in's refusal), std::bad_alloc.
std::vector<PClip> regionsViews(standin::ScriptEnvironment& env, const PClip& input,
                                const standin::NamedArguments& arguments, unsigned count);

// The clips a run takes its output frames from, one per worker: the plug-in's filters, or
// with --regions the views. Throws as invokeFilter or regionsViews.
std::vector<PClip> outputClips(const Run& run, const PClip& input,
                               const standin::NamedArguments& arguments, unsigned count);

}  // namespace cli
