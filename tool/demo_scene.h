// The sample picture of --demo, made inside the program so the demo needs no input: flat
// shapes, gradients and hard edges under mild noise, the material the filter is for. The
// same bytes on every run.
#pragma once

#include "rgb_image.h"

namespace cli {

constexpr int kDemoWidth = 640;
constexpr int kDemoHeight = 360;

media::RgbImage demoScene();

// a and b side by side (same size), with a white gap between them.
media::RgbImage sideBySide(const media::RgbImage& a, const media::RgbImage& b);

}  // namespace cli
