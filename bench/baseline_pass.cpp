#include "baseline_pass.h"

#include <algorithm>
#include <deque>

namespace {

constexpr int32_t kInit = -1;
constexpr int32_t kMask = -2;

}  // namespace

BaselineBuffers::BaselineBuffers(int w, int h)
    : width(w), height(h), channel(static_cast<size_t>(w) * h), order(channel.size()),
      label(channel.size()), dist(channel.size()), boundary(channel.size()) {}

void BaselineSort(BaselineBuffers& b, const uint8_t* src, int srcPitch, int step) {
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            b.channel[y * b.width + x] = src[y * srcPitch + x * step];
    for (size_t i = 0; i < b.channel.size(); ++i) b.order[i] = &b.channel[i];
    std::sort(b.order.begin(), b.order.end(), [](PixelRef a, PixelRef c) { return *a < *c; });
}

void BaselineWatershed(BaselineBuffers& b, bool c4) {
    const int w = b.width, h = b.height;
    const size_t n = b.channel.size();
    const uint8_t* channel = b.channel.data();
    std::fill(b.label.begin(), b.label.end(), kInit);
    std::fill(b.dist.begin(), b.dist.end(), 0);
    std::fill(b.boundary.begin(), b.boundary.end(), 255);

    auto label = [&](PixelRef p) -> int32_t& { return b.label[p - channel]; };
    auto dist = [&](PixelRef p) -> int32_t& { return b.dist[p - channel]; };
    // Calls f for each neighbour of p that lies inside the plane, in the fixed order.
    auto forNeighbours = [&](PixelRef p, auto&& f) {
        const int y = static_cast<int>((p - channel) / w), x = static_cast<int>((p - channel) % w);
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dy == 0 && dx == 0) || (c4 && dy != 0 && dx != 0)) continue;
                if (y + dy < 0 || y + dy >= h || x + dx < 0 || x + dx >= w) continue;
                f(p + dy * w + dx);
            }
        }
    };

    std::deque<PixelRef> queue;
    const PixelRef marker = nullptr;
    int32_t regions = 0;
    size_t start = 0;
    for (int level = *b.order[0]; level <= *b.order[n - 1]; ++level) {
        size_t end = start;
        while (end < n && *b.order[end] == level) label(b.order[end++]) = kMask;

        for (size_t j = start; j < end; ++j) {
            const PixelRef p = b.order[j];
            const int i = static_cast<int>(p - channel);
            const int y = i / w, x = i % w;
            if (y == 0 || y == h - 1 || x == 0 || x == w - 1) continue;
            bool seed = false;
            forNeighbours(p, [&](PixelRef q) { seed = seed || label(q) >= 1; });
            if (seed) {
                dist(p) = 1;
                queue.push_back(p);
            }
        }

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
            forNeighbours(p, [&](PixelRef q) {
                if (dist(q) < current && label(q) >= 1) {
                    if (label(p) == kMask || b.boundary[p - channel] == 0)
                        label(p) = label(q);
                    else if (label(p) != label(q))
                        b.boundary[p - channel] = 0;
                } else if (label(q) == kMask && dist(q) == 0) {
                    dist(q) = current + 1;
                    queue.push_back(q);
                }
            });
        }

        for (size_t j = start; j < end; ++j) {
            const PixelRef p = b.order[j];
            dist(p) = 0;
            if (label(p) != kMask) continue;
            label(p) = ++regions;
            queue.push_back(p);
            while (!queue.empty()) {
                const PixelRef s = queue.front();
                queue.pop_front();
                forNeighbours(s, [&](PixelRef r) {
                    if (label(r) == kMask) {
                        label(r) = regions;
                        queue.push_back(r);
                    }
                });
            }
        }
        start = end;
    }
}

void BaselineEnhance(const BaselineBuffers& b, uint8_t* dst, int dstPitch, const uint8_t* src,
                     int srcPitch, int step, int factor, int sh) {
    const int w = b.width, h = b.height;
    for (int y = 0; y < h && factor > 0; ++y) {
        for (int x = 0; x < w; ++x) {
            const int32_t own = b.label[y * w + x];
            uint32_t sum = (10 - factor) * b.channel[y * w + x];
            uint32_t weight = 10 - factor;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (y + dy < 0 || y + dy >= h || x + dx < 0 || x + dx >= w) continue;
                    if (b.label[(y + dy) * w + x + dx] != own) continue;
                    const uint32_t k = (dy == 0 || dx == 0) ? 2 : 1;
                    sum += k * b.channel[(y + dy) * w + x + dx];
                    weight += k;
                }
            }
            dst[y * dstPitch + x * step] = static_cast<uint8_t>(sum / weight);
        }
    }
    if (sh == 0) return;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (factor == 0) dst[y * dstPitch + x * step] = src[y * srcPitch + x * step];
            if (b.boundary[y * w + x] != 0) continue;
            int v = (100 + sh) * src[y * srcPitch + x * step] / 100;
            if (v < 0)
                v = 0;
            else if (v > 255)
                v = 255;
            dst[y * dstPitch + x * step] = static_cast<uint8_t>(v);
        }
    }
}
