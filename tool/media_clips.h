// Clips made from media files, the same way for INPUT and for clip arguments: a
// YUV4MPEG2 file becomes a clip read by frame number, a picture a clip of one BGR frame.
#pragma once

#include <string>

#include "command_line.h"
#include "rgb_image.h"
#include "script_environment.h"

namespace cli {

struct OpenedClip {
    PClip clip;
    bool hasAlpha = false;  // pictures only
};

// A one-frame clip of the picture.
PClip pictureClip(IScriptEnvironment& env, const media::RgbImage& image);

// Opens a file (not standard input) by its type. Throws MediaError.
OpenedClip openClip(IScriptEnvironment& env, const std::string& path, PlanarOrder order);

}  // namespace cli
