// The channel pass as a straightforward first implementation writes it: std::sort with a
// value comparator, a std::deque of pixel references with a null marker, every neighbour
// bounds-tested, a division per pixel. Slow, but each step can be checked by reading it
// against the algorithm's description.
//
// It is the one plain statement of the pass in the project: the core's tests compare their
// outputs with it, and the benchmark times the core against it in the same run. Every
// function has the argument order of the core operation of the same name, writes the same
// buffers, and keeps the same preconditions.
#pragma once

#include <cstdint>

#include "channel_plane.h"

namespace reference {

// Extracts the channel into channelBuf, points orderBuf[i] at channelBuf[i], then sorts
// orderBuf by unsigned value with std::sort. Equal values end in whatever order std::sort
// leaves them, which is not their order of position.
void SortPixels(uint8_t* channelBuf, int rowLength, const uint8_t* src, int srcPitch, int step,
                int width, int height, PixelRef* orderBuf);

// The watershed by immersion, step by step: all labels LABEL_INIT, distances 0, boundary
// bytes 255; then for every level from the lowest value to the highest, marking, seeding
// (never on the image border), growth by distance with a marker in the queue, and new
// minima. Leaves labels 1..R, distances 0, boundary bytes 0 or 255.
void Watershed(const PixelRef* orderBuf, const uint8_t* channelBuf, int32_t* labelBuf,
               int32_t* distBuf, uint8_t* boundaryBuf, int height, int width, bool c4);

// Every pixel becomes sum / weight over itself and its eight neighbours that lie inside the
// plane and carry its label: centre centreWeight + 2, orthogonal 2, diagonal 1.
void SmoothSegments(uint8_t* dst, int dstPitch, int dstStep, const uint8_t* channelBuf,
                    const int32_t* labelBuf, int rowLength, int width, int height,
                    int centreWeight);

// Every pixel with boundary byte 0 becomes clamp((100 + sh) * src / 100, 0, 255).
void AmplifyBoundaries(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                       const uint8_t* boundaryBuf, int rowLength, int width, int height,
                       int step, int sh);

// SmoothSegments with centre weight 10 - factor when factor > 0; then, when sh != 0, a copy
// of the source if factor is 0, and AmplifyBoundaries.
void EnhanceChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height, const uint8_t* channelBuf, const int32_t* labelBuf,
                    const uint8_t* boundaryBuf, int rowLength, int factor, int sh);

}  // namespace reference
