// Running the filter once the command line is understood: over video frame by frame on
// several workers, over a single picture, or over the built-in sample picture (--demo).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "formats.h"
#include "named_arguments.h"
#include "script_environment.h"

namespace cli {

// Memory ran out while several workers each held a filter and its frames; the message
// says so, and that fewer workers need less.
struct OutOfMemory : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Run {
    const Options& options;
    standin::ScriptEnvironment& env;  // with the plug-in loaded
    const std::vector<NamedArgument>& arguments;
    const media::MediaFormat& outputFormat;
};

// Both throw: UsageError, AvisynthError (the plug-in's refusal or a frame's failure, whose
// message is printed unchanged), MediaError, std::bad_alloc, OutOfMemory or other
// std::exception. OUTPUT is left as it was unless everything succeeded, or was written
// directly (a stream).
void runVideo(const Run& run);
void runPicture(const Run& run);

// Writes input.png, output.png and comparison.png into directory (made if missing) and,
// unless quiet, prints their paths. Throws AvisynthError, MediaError or std::exception.
void runDemo(standin::ScriptEnvironment& env, const std::string& directory, bool quiet);

}  // namespace cli
