// Where a plane's rows are read into or written from: the caller's memory, with the
// caller's row pitch, so frames move between files and the filter without extra copies.
// And the conversion between planar 4:2:2 (as YUV4MPEG2 stores it) and packed YUY2 (as the
// filter takes it): each pair of pixels is the four bytes Y0 U Y1 V.
#pragma once

#include <cstdint>

namespace media {

// Samples of one byte, or two as the machine's uint16_t, as the video's depth says.
struct PlaneDest {
    uint8_t* data;  // first byte of the top row
    int pitch;      // bytes from one row to the next; at least a row's bytes
};

struct PlaneSource {
    const uint8_t* data;
    int pitch;
};

// width must be even and positive; Y has width bytes per row, U and V width / 2, YUY2
// width * 2. Pitches may exceed those. Throws std::invalid_argument on bad geometry.
void PackYuy2(int width, int height, const PlaneSource& y, const PlaneSource& u,
              const PlaneSource& v, const PlaneDest& yuy2);

void UnpackYuy2(int width, int height, const PlaneSource& yuy2, const PlaneDest& y,
                const PlaneDest& u, const PlaneDest& v);

}  // namespace media
