#include "planes.h"

#include <cstddef>
#include <stdexcept>

namespace media {

namespace {

void CheckGeometry(int width, int height, int yPitch, int uPitch, int vPitch, int yuy2Pitch) {
    if (width < 2 || width % 2 != 0 || height < 1 || yPitch < width || uPitch < width / 2 ||
        vPitch < width / 2 || yuy2Pitch / 2 < width) {
        throw std::invalid_argument("YUY2 conversion: bad width, height or pitch");
    }
}

template <typename Pointer>
Pointer RowOf(Pointer base, int pitch, int row) {
    return base + static_cast<std::ptrdiff_t>(row) * pitch;
}

}  // namespace

void PackYuy2(int width, int height, const PlaneSource& y, const PlaneSource& u,
              const PlaneSource& v, const PlaneDest& yuy2) {
    CheckGeometry(width, height, y.pitch, u.pitch, v.pitch, yuy2.pitch);
    const int pairs = width / 2;
    for (int row = 0; row < height; ++row) {
        // Distinct restrict pointers let the compiler vectorise the interleave.
        const uint8_t* __restrict ys = RowOf(y.data, y.pitch, row);
        const uint8_t* __restrict us = RowOf(u.data, u.pitch, row);
        const uint8_t* __restrict vs = RowOf(v.data, v.pitch, row);
        uint8_t* __restrict out = RowOf(yuy2.data, yuy2.pitch, row);
        for (int i = 0; i < pairs; ++i) {
            out[4 * i] = ys[2 * i];
            out[4 * i + 1] = us[i];
            out[4 * i + 2] = ys[2 * i + 1];
            out[4 * i + 3] = vs[i];
        }
    }
}

void UnpackYuy2(int width, int height, const PlaneSource& yuy2, const PlaneDest& y,
                const PlaneDest& u, const PlaneDest& v) {
    CheckGeometry(width, height, y.pitch, u.pitch, v.pitch, yuy2.pitch);
    const int pairs = width / 2;
    for (int row = 0; row < height; ++row) {
        const uint8_t* __restrict in = RowOf(yuy2.data, yuy2.pitch, row);
        uint8_t* __restrict ys = RowOf(y.data, y.pitch, row);
        uint8_t* __restrict us = RowOf(u.data, u.pitch, row);
        uint8_t* __restrict vs = RowOf(v.data, v.pitch, row);
        for (int i = 0; i < pairs; ++i) {
            ys[2 * i] = in[4 * i];
            us[i] = in[4 * i + 1];
            ys[2 * i + 1] = in[4 * i + 2];
            vs[i] = in[4 * i + 3];
        }
    }
}

}  // namespace media
