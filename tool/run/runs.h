// Running the filter once the command line is understood: over video frame by frame on
// several workers, over a single picture (its channels on several threads), or over the
// built-in sample picture (--demo).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "formats.h"
#include "frame_filter.h"
#include "named_arguments.h"
#include "script_environment.h"
#include "sources.h"

namespace cli {

// Memory ran out while several workers each held a filter and its frames; the message
// says so, and that fewer workers need less.
struct OutOfMemory : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The filter refused the arguments: its own words, printed unchanged.
struct FilterRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Run {
    const Options& options;
    const std::vector<NamedArgument>& arguments;
    const media::MediaFormat& outputFormat;
    // The stand-in host with the classic plug-in loaded, for --plugin; nullptr for the engine.
    standin::ScriptEnvironment* plugin;
};

// Both throw: UsageError, FilterRefusal, AvisynthError (a plug-in's refusal or a frame's
// failure, whose message is printed unchanged), MediaError, std::bad_alloc, OutOfMemory or
// other std::exception. OUTPUT is left as it was unless everything succeeded, or was written
// directly (a stream).
void RunVideo(const Run& run);
void RunPicture(const Run& run);

// Writes input.png, output.png, comparison.png and regions.png into directory (made if
// missing) and, unless quiet, prints their paths. Throws MediaError or std::exception.
void RunDemo(const std::string& directory, bool quiet);

// ---- Shared by the runs ----

// The job of a run over frames of this format and size, from its arguments.
FilterJob JobOf(const Run& run, const engine::VideoFormat& format, int width, int height);

// A worker's filter: the engine (rendering a frame's channels on `threads` threads) or the
// classic plug-in. Throws FilterRefusal, AvisynthError or std::bad_alloc.
std::unique_ptr<FrameFilter> MakeFilter(const Run& run, const FilterJob& job, unsigned threads);

// Bytes one worker holds: its filter and the frames it has in flight.
size_t WorkerBytes(const FilterJob& job, unsigned threads);

// The segmentation clip of a run with useclip=true: a file read as INPUT is, video by frame
// number (from several threads), a picture as its one frame.
class SegmentationClip {
public:
    // Throws UsageError for a path of no known type, MediaError for a file that cannot be read.
    explicit SegmentationClip(const std::string& path);
    engine::ClipFacts Facts() const;
    // Frame n. Throws MediaError.
    FramePtr Get(int n);

private:
    std::unique_ptr<VideoSource> video_;
    FramePtr picture_;
};

// The run's segmentation clip with useclip=true; nullptr otherwise (a given sclip is then not
// opened, and a warning says it was not used).
std::unique_ptr<SegmentationClip> OpenSegmentation(const Run& run);

// Refuses the job as the filter would (FilterRefusal): frames is the input's length, sclip the
// segmentation clip when there is one.
void Check(const FilterJob& job, int frames, const SegmentationClip* sclip);

}  // namespace cli
