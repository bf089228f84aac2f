// A deliberately plain re-statement of the watershed, step by step, with bounds tests
// everywhere and a std::deque: slow, but easy to check by reading. The tests compare the
// optimised Watershed against it.
#pragma once

#include <cstdint>
#include <vector>

#include "channel_plane.h"

struct WatershedResult {
    std::vector<int32_t> label;
    std::vector<int32_t> dist;
    std::vector<uint8_t> boundary;
};

WatershedResult PlainWatershed(const PixelRef* order, const uint8_t* channel, int height,
                               int width, bool c4);
