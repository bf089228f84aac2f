// Neighbour arithmetic on a packed width x height grid of pixel indices.
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
    }

    uint32_t Size() const { return width_ * height_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

    // Bit k is set when neighbour k lies inside the grid (the bounds-tested path).
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

    // The index difference to neighbour k. Unsigned wrap-around turns an addition of it into
    // a subtraction where the neighbour lies before i.
    uint32_t Offset(int k) const { return offset_[k]; }
    uint32_t Neighbour(uint32_t i, int k) const { return i + offset_[k]; }

private:
    uint32_t width_;
    uint32_t height_;
    uint32_t offset_[8];
};
