#include "synthetic_channel.h"

#include <algorithm>
#include <cmath>

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
    // Lighter, in -3..3 (about 1.4 levels of spread).
    int NextLight() {
        const uint64_t bits = Draw();
        return static_cast<int>(bits % 3 + (bits >> 16) % 3 + (bits >> 32) % 3) - 3;
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

// A photograph-like picture in 1/16 grey levels: a shaded wall, a textured floor, a rounded
// object with a soft shadow, foliage-like texture and a window with hard edges.
int Photograph(int x, int y, int width, int height) {
    const double sx = x * 1920.0 / width, sy = y * 1080.0 / height;
    double v = 70 + 60 * sy / 1080 + 20 * std::sin(sx / 300.0);              // shaded wall
    if (sy > 720) v = 110 + 25 * std::sin(sx / 23.0) * std::sin(sy / 17.0);  // floor texture
    const double dx = sx - 600, dy = sy - 560, r = std::sqrt(dx * dx + dy * dy);
    if (r < 230) v = 190 - 0.35 * r + 25 * (dx + dy) / 330;                  // a rounded object
    else if (r < 300 && dy > 0) v *= 0.75;                                   // its soft shadow
    if (sx > 1250 && sx < 1700 && sy > 150 && sy < 600) {                    // a window
        v = 225;
        if (std::fmod(sx - 1250, 150) < 8 || std::fmod(sy - 150, 150) < 8) v = 40;
    }
    if (sx > 1750) v = 60 + 40 * std::sin(sx / 6.0 + std::sin(sy / 9.0) * 3);  // foliage
    return static_cast<int>(v * 16);
}

// A test-pattern-like picture in grey levels: bars and tiles of flat levels, a stepped ramp,
// a disc with a one-pixel soft edge, lines of blocky text, all with hard edges and no grain.
int Graphics(int x, int y, int width, int height) {
    const int sx = x * 1920 / width, sy = y * 1080 / height;
    int v = 16 + (sx / 240) * 29;                          // eight bars
    if (sy >= 120 && sy < 520) {                           // tiles, each with an inset square
        const int tx = sx / 48, ty = (sy - 120) / 40;
        v = 16 + (tx * 37 + ty * 53) % 220;
        if (sx % 48 >= 14 && sx % 48 < 34 && (sy - 120) % 40 >= 12 && (sy - 120) % 40 < 28)
            v = 235 - (tx * 11 + ty * 29) % 200;
    }
    if (sy >= 780) v = 16 + sx * 219 / 1920;               // a ramp of 220 steps of ~9 pixels
    if (sy >= 640 && sy < 780) v = 16 + (sy - 640) * 219 / 140;  // a vertical one, 1.6 rows a step
    const int dx = sx - 1500, dy = sy - 320;
    const int r2 = dx * dx + dy * dy;
    if (r2 < 200 * 200) v = 200;                           // a disc ...
    else if (r2 < 202 * 202) v = 130;                      // ... its soft edge
    // Text: 64 columns of 5x7 glyphs in 3-pixel cells, lit by a fixed pattern.
    if (sy >= 540 && sy < 540 + 4 * 24 && sx >= 40 && sx < 40 + 64 * 18) {
        const int column = (sx - 40) / 18, row = (sy - 540) / 24;
        const int cx = (sx - 40) % 18 / 3, cy = (sy - 540) % 24 / 3;
        if (cx < 5 && cy < 7 && ((column * 13 + row * 7 + cx * 3 + cy * 5 + cx * cy) % 3 != 0))
            v = 235;
        else
            v = 16;
    }
    if (sx < 8 || sy < 8 || sx >= 1912 || sy >= 1072) v = 128;  // a frame
    return v;
}

}  // namespace

std::vector<uint8_t> MakePhotographChannel(int width, int height, uint64_t seed) {
    std::vector<uint8_t> channel(static_cast<size_t>(width) * height);
    Grain grain(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            channel[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(
                std::clamp(Photograph(x, y, width, height) / 16 + grain.NextLight(), 0, 255));
    return channel;
}

std::vector<uint8_t> MakeGraphicsChannel(int width, int height) {
    std::vector<uint8_t> channel(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            channel[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::clamp(Graphics(x, y, width, height), 0, 255));
    return channel;
}

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
