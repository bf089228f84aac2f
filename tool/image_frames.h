// Pictures in and out of host frames. The host keeps RGB frames bottom-up (the first row in
// memory is the picture's bottom row) with the channels in B G R (A) order; pictures are
// top-down R G B (A). The watershed's border and order rules make the filter's result
// depend on orientation, so only this layout matches what the real host would produce.
#pragma once

#include <avisynth.h>

#include "rgb_image.h"

namespace cli {

// BGR24 for RGB, BGR32 for RGBA; one frame.
VideoInfo videoInfoOf(const media::RgbImage& image);

// Fills the writable frame (of videoInfoOf(image)'s geometry) from image.
void imageIntoFrame(const media::RgbImage& image, VideoFrame& frame);

// The picture a BGR24 (hasAlpha false) or BGR32 frame shows.
media::RgbImage frameToImage(const VideoFrame& frame, int width, int height, bool hasAlpha);

}  // namespace cli
