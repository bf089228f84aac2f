// What a worker makes of a frame. The tool computes its frames with the engine linked into it,
// for every format it reads: the filter's result, or with --regions the regions the filter
// smooths within. With --plugin PATH it runs a classic plug-in instead, loaded into the
// stand-in host as a real host loads it, on the formats that plug-in takes.
#pragma once

#include <avisynth.h>

#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "command_line.h"
#include "frame.h"
#include "named_arguments.h"
#include "region_painter.h"
#include "script_environment.h"

namespace cli {

class FrameFilter {
public:
    virtual ~FrameFilter() = default;
    // dst becomes frame n of the filter's output, from src and seg (the segmentation frame:
    // src itself unless useclip). Calls on one filter must not overlap.
    virtual void Render(int n, const Frame& src, const Frame& seg, Frame& dst) = 0;
};

// What the tool filters: its frames and the arguments that passed the checks.
struct FilterJob {
    engine::VideoFormat format;
    int width = 0;
    int height = 0;
    engine::FilterSettings settings;
    bool regions = false;  // paint the regions instead of filtering
    engine::RegionsStyle style = engine::RegionsStyle::Mosaic;
};

// The settings of the bound command-line arguments: the table's defaults, overridden by the
// arguments given.
engine::FilterSettings SettingsOf(const std::vector<NamedArgument>& arguments);

// The engine's checks on the job (sclip: the segmentation clip's format, size and length, when
// useclip is set); the refusal in the plug-in's words, or "".
std::string Refusal(const FilterJob& job, int frames, const engine::ClipFacts* sclip);

// The engine, rendering the steps of one frame on `threads` threads at once (for a single
// picture, whose channels are independent: each channel keeps its regions in buffers of its
// own, and each thread sorts and floods in its own).
// Throws std::bad_alloc.
std::unique_ptr<FrameFilter> MakeEngineFilter(const FilterJob& job, unsigned threads);

// Bytes one engine filter of the job holds per thread.
size_t EngineFilterBytes(const FilterJob& job);

// The classic plug-in's function called on a clip that hands it the frames given to Render,
// with the arguments as host values. Throws AvisynthError with the plug-in's refusal, or a
// UsageError for a format the classic plug-in does not take.
std::unique_ptr<FrameFilter> MakePluginFilter(standin::ScriptEnvironment& env,
                                              const FilterJob& job, PlanarOrder order,
                                              const standin::NamedArguments& arguments);

}  // namespace cli
