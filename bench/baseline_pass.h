// The channel pass as a straightforward first implementation writes it: std::sort, a
// std::deque of references with a null marker, bounds tests everywhere, division per pixel.
// It is the yardstick for the core's speed, and a second opinion on its output.
#pragma once

#include <cstdint>
#include <vector>

#include "channel_plane.h"

struct BaselineBuffers {
    explicit BaselineBuffers(int width, int height);

    int width, height;
    std::vector<uint8_t> channel;
    std::vector<PixelRef> order;
    std::vector<int32_t> label;
    std::vector<int32_t> dist;
    std::vector<uint8_t> boundary;
};

void BaselineSort(BaselineBuffers& b, const uint8_t* src, int srcPitch, int step);
void BaselineWatershed(BaselineBuffers& b, bool c4);
void BaselineEnhance(const BaselineBuffers& b, uint8_t* dst, int dstPitch, const uint8_t* src,
                     int srcPitch, int step, int factor, int sh);
