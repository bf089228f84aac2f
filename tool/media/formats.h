// The formats the tool reads and writes, in one table: detection by extension, the reader
// and writer of each picture format, what --help says about each, and the lists that error
// messages give. A new picture format is one entry here plus its reader and writer.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "picture.h"

namespace media {

// Reads one picture from the stream's current position; name goes into messages. Throws
// MediaError naming the file when it is not a picture of the format or is damaged.
using PictureReader = Picture (*)(std::FILE* file, const std::string& name);
// Writes the picture at the depth asked for to the stream and flushes it; the caller owns and
// closes the stream. Throws MediaError naming the output on any write error.
using PictureWriter = void (*)(std::FILE* file, const std::string& name, const Picture& picture,
                               WriteDepth depth);

struct MediaFormat {
    const char* name;       // as messages call it: "PNG"
    const char* extension;  // lower case, with the dot: ".png"
    bool isVideo;           // video is read and written frame by frame (y4m.h), not here
    bool holdsAlpha;        // pictures only
    const char* help;       // --help's text about the format: lines after the first
                            // indented by 9 spaces, each '\n'-ended
    PictureReader read;     // pictures only
    PictureWriter write;    // pictures only
};

// Every format, video first.
const std::vector<MediaFormat>& MediaFormats();

// By extension, in any case; "-" (standard input or output) is video. Anything else is a
// MediaError naming the path and listing the supported extensions.
const MediaFormat& MediaFormatOf(const std::string& path);

// The picture formats' extensions (only those that hold alpha, when asked) for messages,
// joined with ", " and with `last` before the last one: ".png, .ppm or .pam".
std::string PictureExtensions(const char* last = " or ", bool holdingAlphaOnly = false);

// Opens path and reads it with its format's reader. A video path is a MediaError.
Picture ReadPicture(const std::string& path);

}  // namespace media
