#include "synthetic_channel.h"

#include <algorithm>

namespace {

// splitmix64: the same numbers on every platform and library, unlike <random>'s distributions.
class Grain {
public:
    explicit Grain(uint64_t seed) : state_(seed) {}

    // Roughly bell-shaped in -9..9: the sum of three uniform draws.
    int Next() {
        const uint64_t bits = Draw();
        return static_cast<int>(bits % 7 + (bits >> 16) % 7 + (bits >> 32) % 7) - 9;
    }

private:
    uint64_t Draw() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    uint64_t state_;
};

// The noiseless picture, in units of 1/16 grey level so gradients stay smooth.
int Scene(int x, int y, int width, int height) {
    const int sx = x * 1920 / width, sy = y * 1080 / height;  // design coordinates
    int v = (50 + 90 * sy / 1080) * 16;                      // sky-like vertical gradient
    if (sx >= 180 && sx < 720 && sy >= 280) {                // a flat building ...
        v = 150 * 16;
        if ((sx - 200) % 70 < 40 && (sy - 320) % 90 < 55) v = 85 * 16;  // ... with windows
    }
    const int dx = sx - 1400, dy = sy - 380;                 // a shaded disc
    const int r2 = dx * dx + dy * dy;
    if (r2 < 260 * 260) v = (215 - r2 / 1300) * 16;
    if (sx + sy * 7 / 10 > 2150) v = 30 * 16 + sy * 2;       // a dark shadow with a hard edge
    if (sx >= 980 && sx < 1240 && sy >= 690 && sy < 860)     // fine stripes, like text
        v = ((sx / 3) % 2 ? 205 : 45) * 16;
    if (sy >= 960) v = sx * 255 * 16 / 1920;                  // a horizontal ramp
    return v;
}

}  // namespace

std::vector<uint8_t> MakeSyntheticChannel(int width, int height, uint64_t seed) {
    std::vector<uint8_t> channel(static_cast<size_t>(width) * height);
    Grain grain(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int value = Scene(x, y, width, height) / 16 + grain.Next();
            channel[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
    }
    return channel;
}
