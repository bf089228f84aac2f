// A deterministic stand-in for one channel of a real 1080p frame, for benchmarking.
#pragma once

#include <cstdint>
#include <vector>

// width * height samples, row-major: smooth gradients, flat areas with hard edges, fine
// stripes and a film-like grain on top. The grain gives the watershed a local minimum every
// few pixels, which is the hard case for it. Another seed gives other grain on the same scene,
// as the frames of a video differ.
std::vector<uint8_t> MakeSyntheticChannel(int width, int height, uint64_t seed = 20240611);
