// Which reader or writer a path calls for, judged by its extension (case-insensitive).
#pragma once

#include <string>

#include "rgb_image.h"

namespace media {

enum class MediaFormat { Y4m, Png, Ppm, Pam };

// ".y4m" and "-" (standard input or output) are video; ".png", ".ppm", ".pam" images.
// Anything else is a MediaError naming the path and listing the supported extensions.
MediaFormat mediaFormatOf(const std::string& path);

inline bool isVideo(MediaFormat format) { return format == MediaFormat::Y4m; }

// readPng for .png, readPnm for .ppm and .pam. A video path is a MediaError.
RgbImage readImage(const std::string& path);

// writePng, writePpm or writePam by extension. A video path is a MediaError.
void writeImage(const std::string& path, const RgbImage& image);

}  // namespace media
