// A deterministic stand-in for one channel of a real 1080p frame, for benchmarking.
#pragma once

#include <cstdint>
#include <vector>

// width * height samples, row-major: smooth gradients, flat areas with hard edges, fine
// stripes and a film-like grain on top. The grain gives the watershed a local minimum every
// few pixels, which is the hard case for it. Another seed gives other grain on the same scene,
// as the frames of a video differ.
std::vector<uint8_t> MakeSyntheticChannel(int width, int height, uint64_t seed = 20240611);

// Like a photograph: soft shading, textured surfaces and objects with soft and hard edges,
// under a light sensor grain (a few levels): larger regions than the grain above, fewer
// boundaries.
std::vector<uint8_t> MakePhotographChannel(int width, int height, uint64_t seed = 7);

// Like flat graphics, animation or a test pattern (ffmpeg's testsrc2): flat areas of a few
// values with hard edges, bars, discs, blocky digits and a stepped ramp, no grain. Wide
// plateaus that one region floods alone, the watershed's slowest kind of level.
std::vector<uint8_t> MakeGraphicsChannel(int width, int height);
