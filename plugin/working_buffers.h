// The size limit of the working buffers.
#pragma once

#include <cstdint>

// The label and distance buffers take 4 bytes per pixel of the frame, and every index into
// them is a signed 32-bit number, so 4 x width x height must fit one.
inline bool WorkingBuffersFit(int width, int height) {
    if (width < 1 || height < 1) return false;
    return int64_t{width} * height <= INT32_MAX / 4;
}
