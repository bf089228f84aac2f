// --demo: the built-in sample picture filtered with the defaults, and the regions the filter
// finds in it (as --regions paints them), written as PNG.
//
// The sample picture is made inside the program so the demo needs no input: flat shapes,
// gradients and hard edges under mild noise, the material the filter is for. The same
// bytes on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "output_target.h"
#include "png_io.h"
#include "runs.h"
#include "sources.h"

namespace cli {
namespace {

constexpr int kDemoWidth = 640;
constexpr int kDemoHeight = 360;

struct Rgb {
    int r, g, b;
};

// xorshift32: small and the same everywhere, unlike the standard library's distributions.
class Noise {
public:
    int Next(int amplitude) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<int>(state_ % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
    }

private:
    uint32_t state_ = 2463534242u;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t),
            static_cast<int>(a.b + (b.b - a.b) * t)};
}

// The noise-free scene at (x, y), painted back to front: sky, ground, sun, a house with a
// door and a roof, a wall of bands, and a smooth ramp.
Rgb SceneColour(int x, int y) {
    const double w = kDemoWidth, h = kDemoHeight;
    Rgb c = Mix({70, 120, 200}, {200, 220, 240}, y / (h * 0.6));
    if (y > h * 0.6) c = Mix({60, 130, 60}, {30, 80, 30}, (y - h * 0.6) / (h * 0.4));
    const double sunX = x - w * 0.8, sunY = y - h * 0.2;
    if (sunX * sunX + sunY * sunY < 40.0 * 40.0) c = {250, 210, 60};
    if (x > 60 && x < 220 && y > 140 && y < 260) c = {180, 60, 50};
    if (x > 110 && x < 150 && y > 200 && y < 260) c = {90, 50, 30};
    if (y > 60 && y <= 140 && std::abs(x - 140) < (y - 60)) c = {120, 40, 40};
    if (x > 300 && x < 560 && y > 250 && y < 320)
        c = ((x - 300) / 20 + (y - 250) / 14) % 2 ? Rgb{200, 200, 190} : Rgb{110, 110, 120};
    if (x > 280 && x < 600 && y > 330 && y < 350)
        c = Mix({20, 20, 20}, {240, 240, 240}, (x - 280) / 320.0);
    return c;
}

uint8_t ClampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

media::Picture DemoScene() {
    media::Picture picture;
    picture.width = kDemoWidth;
    picture.height = kDemoHeight;
    picture.pixels.resize(picture.Stride() * kDemoHeight);
    Noise noise;
    uint8_t* p = picture.pixels.data();
    for (int y = 0; y < kDemoHeight; ++y)
        for (int x = 0; x < kDemoWidth; ++x) {
            const Rgb c = SceneColour(x, y);
            *p++ = ClampByte(c.r + noise.Next(8));
            *p++ = ClampByte(c.g + noise.Next(8));
            *p++ = ClampByte(c.b + noise.Next(8));
        }
    return picture;
}

// a and b side by side (same size), with a white gap between them.
media::Picture SideBySide(const media::Picture& a, const media::Picture& b) {
    constexpr int kGap = 8;
    media::Picture out;
    out.width = a.width * 2 + kGap;
    out.height = a.height;
    out.hasAlpha = a.hasAlpha;
    out.pixels.assign(out.Stride() * static_cast<size_t>(out.height), 255);
    const size_t half = a.Stride();
    const size_t right = (static_cast<size_t>(a.width) + kGap) * a.Channels();
    for (int y = 0; y < a.height; ++y) {
        uint8_t* row = out.pixels.data() + static_cast<size_t>(y) * out.Stride();
        std::memcpy(row, a.pixels.data() + y * half, half);
        std::memcpy(row + right, b.pixels.data() + y * half, half);
    }
    return out;
}

void WritePngFile(const std::string& path, const media::Picture& picture, bool quiet) {
    OutputTarget target(path);
    media::WritePng(target.Stream(), target.Name(), picture, media::WriteDepth::Picture);
    target.Commit();
    if (!quiet) std::printf("wrote %s\n", path.c_str());
}

// The scene through the engine with the defaults: filtered, or its regions painted.
media::Picture Filtered(const FramePtr& scene, bool regions) {
    FilterJob job;
    job.format = scene->Format();
    job.width = scene->Width();
    job.height = scene->Height();
    job.settings = engine::DefaultSettings();
    job.regions = regions;
    Frame out(job.format, job.width, job.height);
    MakeEngineFilter(job, 1)->Render(0, *scene, *scene, out);
    return PictureOf(out);
}

}  // namespace

void RunDemo(const std::string& directory, bool quiet) {
    const media::Picture scene = DemoScene();
    const FramePtr frame = FrameOfPicture(scene);
    const media::Picture filtered = Filtered(frame, false);
    const media::Picture regions = Filtered(frame, true);
    std::filesystem::create_directories(directory);
    const std::string prefix = directory + "/";
    WritePngFile(prefix + "input.png", scene, quiet);
    WritePngFile(prefix + "output.png", filtered, quiet);
    WritePngFile(prefix + "comparison.png", SideBySide(scene, filtered), quiet);
    WritePngFile(prefix + "regions.png", regions, quiet);
    if (!quiet)
        std::printf("comparison.png shows the input (left) beside the output (right); "
                    "regions.png the regions the filter smooths within, each in its mean "
                    "colour\n");
}

}  // namespace cli
