// A packed width x height grid of pixel indices, and which neighbours of an index exist.
#pragma once

#include <cstdint>

// Neighbour k lies kNeighbourRow[k] rows and kNeighbourCol[k] columns away. The watershed's
// labels depend on visiting neighbours in exactly this order.
constexpr int kNeighbourRow[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int kNeighbourCol[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

class PixelGrid {
public:
    PixelGrid(int width, int height)
        : width_(static_cast<uint32_t>(width)), height_(static_cast<uint32_t>(height)) {}

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

private:
    uint32_t width_;
    uint32_t height_;
};
