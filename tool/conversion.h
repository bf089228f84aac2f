// Running the filter over INPUT into OUTPUT once the command line is understood: video
// frame by frame on several workers, or a single picture.
#pragma once

#include <vector>

#include "command_line.h"
#include "media_format.h"
#include "named_arguments.h"
#include "script_environment.h"

namespace cli {

struct Conversion {
    const Options& options;
    standin::ScriptEnvironment& env;  // with the plug-in loaded
    const std::vector<NamedArgument>& arguments;
    media::MediaFormat outputFormat;
};

// Both throw: UsageError, AvisynthError (the plug-in's refusal or a frame's failure, whose
// message is printed unchanged), FrameFailure, MediaError or other std::exception. OUTPUT
// is left as it was unless everything succeeded, or was written directly (a stream).
void convertVideo(const Conversion& conversion);
void convertPicture(const Conversion& conversion);

}  // namespace cli
