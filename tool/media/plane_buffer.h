// Where a plane's rows are read into or written from: the caller's memory, with the
// caller's row pitch, so frames move between files and the filter without extra copies.
#pragma once

#include <cstdint>

namespace media {

struct PlaneDest {
    uint8_t* data;  // first byte of the top row
    int pitch;      // bytes from one row to the next; at least the plane's width
};

struct PlaneSource {
    const uint8_t* data;
    int pitch;
};

}  // namespace media
