#include "reference_pass.h"

#include <algorithm>
#include <deque>

#include "watershed.h"

namespace reference {

void SortPixels(uint8_t* channelBuf, int rowLength, const uint8_t* src, int srcPitch, int step,
                int width, int height, PixelRef* orderBuf) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            channelBuf[y * rowLength + x] = src[y * srcPitch + x * step];
    const int n = width * height;
    for (int i = 0; i < n; ++i) orderBuf[i] = channelBuf + i;
    std::sort(orderBuf, orderBuf + n, [](PixelRef a, PixelRef b) { return *a < *b; });
}

void Watershed(const PixelRef* orderBuf, const uint8_t* channelBuf, int32_t* labelBuf,
               int32_t* distBuf, uint8_t* boundaryBuf, int height, int width, bool c4) {
    const int n = width * height;
    for (int i = 0; i < n; ++i) {
        labelBuf[i] = LABEL_INIT;
        distBuf[i] = 0;
        boundaryBuf[i] = 255;
    }
    const auto index = [&](PixelRef p) { return static_cast<int>(p - channelBuf); };
    const auto label = [&](PixelRef p) -> int32_t& { return labelBuf[index(p)]; };
    const auto dist = [&](PixelRef p) -> int32_t& { return distBuf[index(p)]; };
    const auto boundary = [&](PixelRef p) -> uint8_t& { return boundaryBuf[index(p)]; };
    const auto onBorder = [&](PixelRef p) {
        const int y = index(p) / width, x = index(p) % width;
        return y == 0 || y == height - 1 || x == 0 || x == width - 1;
    };
    // Calls visit for each neighbour of p inside the plane: the row above from left to right,
    // left and right, the row below from left to right; without the diagonals when c4.
    const auto forEachNeighbour = [&](PixelRef p, auto&& visit) {
        const int y = index(p) / width, x = index(p) % width;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (dy == 0 && dx == 0) continue;
                if (c4 && dy != 0 && dx != 0) continue;
                if (y + dy < 0 || y + dy >= height || x + dx < 0 || x + dx >= width) continue;
                visit(channelBuf + (y + dy) * width + (x + dx));
            }
        }
    };

    std::deque<PixelRef> queue;
    const PixelRef marker = nullptr;
    int32_t regions = 0;
    int markStart = 0, minimaStart = 0;
    const int lowest = *orderBuf[0], highest = *orderBuf[n - 1];
    for (int h = lowest; h <= highest; ++h) {
        // Marking.
        int j = markStart;
        for (; j < n && *orderBuf[j] <= h; ++j)
            if (*orderBuf[j] == h) label(orderBuf[j]) = LABEL_MASK;

        // Seeding: a pixel off the border with a labelled neighbour, that is, a lower one.
        for (j = markStart; j < n && *orderBuf[j] <= h; ++j) {
            const PixelRef p = orderBuf[j];
            if (*p != h || onBorder(p)) continue;
            bool seed = false;
            forEachNeighbour(p, [&](PixelRef q) { seed = seed || label(q) >= 1; });
            if (seed) {
                dist(p) = 1;
                queue.push_back(p);
            }
        }
        if (j < n) markStart = j;

        // Growth, one distance after the other.
        int32_t current = 1;
        queue.push_back(marker);
        for (;;) {
            PixelRef p = queue.front();
            queue.pop_front();
            if (p == marker) {
                if (queue.empty()) break;
                queue.push_back(marker);
                ++current;
                p = queue.front();
                queue.pop_front();
            }
            forEachNeighbour(p, [&](PixelRef q) {
                if (dist(q) < current && label(q) >= 1) {
                    if (label(p) == LABEL_MASK || boundary(p) == 0)
                        label(p) = label(q);
                    else if (label(p) != label(q))
                        boundary(p) = 0;
                } else if (label(q) == LABEL_MASK && dist(q) == 0) {
                    dist(q) = current + 1;
                    queue.push_back(q);
                }
            });
        }

        // New minima: what no region reached starts regions of its own.
        for (j = minimaStart; j < n && *orderBuf[j] <= h; ++j) {
            const PixelRef p = orderBuf[j];
            if (*p != h) continue;
            dist(p) = 0;
            if (label(p) != LABEL_MASK) continue;
            label(p) = ++regions;
            queue.push_back(p);
            while (!queue.empty()) {
                const PixelRef s = queue.front();
                queue.pop_front();
                forEachNeighbour(s, [&](PixelRef r) {
                    if (label(r) == LABEL_MASK) {
                        label(r) = regions;
                        queue.push_back(r);
                    }
                });
            }
        }
        if (j < n) minimaStart = j;
    }
}

void SmoothSegments(uint8_t* dst, int dstPitch, int dstStep, const uint8_t* channelBuf,
                    const int32_t* labelBuf, int rowLength, int width, int height,
                    int centreWeight) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int32_t own = labelBuf[y * rowLength + x];
            uint32_t sum = static_cast<uint32_t>(centreWeight) * channelBuf[y * rowLength + x];
            uint32_t weight = static_cast<uint32_t>(centreWeight);
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int ny = y + dy, nx = x + dx;
                    if (ny < 0 || ny >= height || nx < 0 || nx >= width) continue;
                    if (labelBuf[ny * rowLength + nx] != own) continue;
                    const uint32_t w = (dy == 0 || dx == 0) ? 2 : 1;
                    sum += w * channelBuf[ny * rowLength + nx];
                    weight += w;
                }
            }
            dst[y * dstPitch + x * dstStep] = static_cast<uint8_t>(sum / weight);
        }
    }
}

void AmplifyBoundaries(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                       const uint8_t* boundaryBuf, int rowLength, int width, int height,
                       int step, int sh) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (boundaryBuf[y * rowLength + x] != 0) continue;
            const int32_t scaled = (100 + sh) * src[y * srcPitch + x * step] / 100;
            dst[y * dstPitch + x * step] = static_cast<uint8_t>(std::clamp(scaled, 0, 255));
        }
    }
}

void EnhanceChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height, const uint8_t* channelBuf, const int32_t* labelBuf,
                    const uint8_t* boundaryBuf, int rowLength, int factor, int sh) {
    if (factor > 0)
        SmoothSegments(dst, dstPitch, step, channelBuf, labelBuf, rowLength, width, height,
                       10 - factor);
    if (sh == 0) return;
    if (factor == 0)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                dst[y * dstPitch + x * step] = src[y * srcPitch + x * step];
    AmplifyBoundaries(dst, dstPitch, src, srcPitch, boundaryBuf, rowLength, width, height, step,
                      sh);
}

}  // namespace reference
