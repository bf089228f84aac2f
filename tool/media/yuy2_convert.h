// Conversion between planar 4:2:2 (as YUV4MPEG2 stores it) and packed YUY2 (as the filter
// takes it): each pair of pixels is the four bytes Y0 U Y1 V.
#pragma once

#include "plane_buffer.h"

namespace media {

// width must be even and positive; Y has width bytes per row, U and V width / 2, YUY2
// width * 2. Pitches may exceed those. Throws std::invalid_argument on bad geometry.
void packYuy2(int width, int height, const PlaneSource& y, const PlaneSource& u,
              const PlaneSource& v, const PlaneDest& yuy2);

void unpackYuy2(int width, int height, const PlaneSource& yuy2, const PlaneDest& y,
                const PlaneDest& u, const PlaneDest& v);

}  // namespace media
