#include "plain_watershed.h"

#include <deque>

namespace {

constexpr int kInit = -1;
constexpr int kMask = -2;
constexpr int kMarker = -1;

}  // namespace

WatershedResult PlainWatershed(const PixelRef* order, const uint8_t* channel, int height,
                               int width, bool c4) {
    const int n = width * height;
    WatershedResult r{std::vector<int32_t>(n, kInit), std::vector<int32_t>(n, 0),
                      std::vector<uint8_t>(n, 255)};
    auto& label = r.label;
    auto& dist = r.dist;

    const auto value = [&](int j) { return static_cast<int>(*order[j]); };
    const auto pixel = [&](int j) { return static_cast<int>(order[j] - channel); };
    const auto neighbours = [&](int p) {
        static const int all[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                      {0, 1},   {1, -1}, {1, 0},  {1, 1}};
        std::vector<int> list;
        for (const auto& d : all) {
            if (c4 && d[0] != 0 && d[1] != 0) continue;
            const int y = p / width + d[0], x = p % width + d[1];
            if (y >= 0 && y < height && x >= 0 && x < width) list.push_back(y * width + x);
        }
        return list;
    };
    const auto onBorder = [&](int p) {
        const int y = p / width, x = p % width;
        return y == 0 || y == height - 1 || x == 0 || x == width - 1;
    };

    std::deque<int> queue;
    int regions = 0;
    int markStart = 0, minimaStart = 0;
    for (int h = value(0); h <= value(n - 1); ++h) {
        int j = markStart;
        for (; j < n && value(j) <= h; ++j)
            if (value(j) == h) label[pixel(j)] = kMask;

        for (j = markStart; j < n && value(j) <= h; ++j) {
            const int p = pixel(j);
            if (value(j) != h || onBorder(p)) continue;
            for (int q : neighbours(p)) {
                if (label[q] >= 1) {
                    dist[p] = 1;
                    queue.push_back(p);
                    break;
                }
            }
        }
        if (j < n) markStart = j;

        int current = 1;
        queue.push_back(kMarker);
        for (;;) {
            int p = queue.front();
            queue.pop_front();
            if (p == kMarker) {
                if (queue.empty()) break;
                queue.push_back(kMarker);
                ++current;
                p = queue.front();
                queue.pop_front();
            }
            for (int q : neighbours(p)) {
                if (dist[q] < current && label[q] >= 1) {
                    if (label[p] == kMask || r.boundary[p] == 0)
                        label[p] = label[q];
                    else if (label[p] != label[q])
                        r.boundary[p] = 0;
                } else if (label[q] == kMask && dist[q] == 0) {
                    dist[q] = current + 1;
                    queue.push_back(q);
                }
            }
        }

        for (j = minimaStart; j < n && value(j) <= h; ++j) {
            if (value(j) != h) continue;
            const int p = pixel(j);
            dist[p] = 0;
            if (label[p] != kMask) continue;
            label[p] = ++regions;
            queue.push_back(p);
            while (!queue.empty()) {
                const int s = queue.front();
                queue.pop_front();
                for (int q : neighbours(s)) {
                    if (label[q] == kMask) {
                        label[q] = regions;
                        queue.push_back(q);
                    }
                }
            }
        }
        if (j < n) minimaStart = j;
    }
    return r;
}
