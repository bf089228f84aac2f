// Neighbour arithmetic on a packed width x height grid of pixel indices, with a cheap test
// that lets interior pixels skip every bounds test.
#pragma once

#include <cstdint>

// Neighbour k lies kNeighbourRow[k] rows and kNeighbourCol[k] columns away. The watershed's
// labels depend on visiting neighbours in exactly this order.
constexpr int kNeighbourRow[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int kNeighbourCol[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

class PixelGrid {
public:
    PixelGrid(int width, int height)
        : width_(static_cast<uint32_t>(width)), height_(static_cast<uint32_t>(height)) {
        for (int k = 0; k < 8; ++k)
            offset_[k] = static_cast<uint32_t>(kNeighbourRow[k] * width + kNeighbourCol[k]);
        if (width >= 3 && height >= 3) {
            interiorBegin_ = width_;
            interiorSpan_ = width_ * (height_ - 2);
            // i is a multiple of width exactly when i * colTest_ (mod 2^64) < colTest_
            // (Lemire, Kaser and Kurz, "Faster remainder by direct computation"), valid for
            // every 32-bit i and width >= 2. It spares a division per pixel.
            colTest_ = UINT64_MAX / width_ + 1;
        }
    }

    uint32_t Size() const { return width_ * height_; }

    // True when all eight neighbours exist. Never true on grids narrower or lower than 3.
    bool IsInterior(uint32_t i) const {
        return i - interiorBegin_ < interiorSpan_ && i * colTest_ >= colTest_ &&
               (i + 1) * colTest_ >= colTest_;
    }

    // Bit k is set when neighbour k lies inside the grid (bounds-tested path).
    uint32_t PresentNeighbours(uint32_t i) const {
        const uint32_t y = i / width_;
        const uint32_t x = i - y * width_;
        uint32_t present = 0xFF;
        if (y == 0) present &= ~0x07u;           // (-1, *)
        if (y + 1 == height_) present &= ~0xE0u;  // (+1, *)
        if (x == 0) present &= ~0x29u;           // (*, -1)
        if (x + 1 == width_) present &= ~0x94u;  // (*, +1)
        return present;
    }

    // Unsigned wrap-around turns the stored offset into a subtraction where it is negative.
    uint32_t Neighbour(uint32_t i, int k) const { return i + offset_[k]; }

private:
    uint32_t width_;
    uint32_t height_;
    uint32_t offset_[8];
    uint32_t interiorBegin_ = 0;
    uint32_t interiorSpan_ = 0;  // 0: no pixel is interior
    uint64_t colTest_ = 1;
};
