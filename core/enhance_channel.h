// Smoothing within regions and amplification of region boundaries for one channel.
#pragma once

#include <cstdint>

// Writes the destination channel from the source channel after the watershed:
// SmoothSegments when factor > 0, then (when sh != 0) the boundaries scaled by (100 + sh)
// percent from the source values; with factor 0 the interior is copied unchanged.
// factor 0 and sh 0 writes nothing. Only dst + y * dstPitch + x * step is written.
// Preconditions (enforced at filter creation): factor 0..10, sh -10..10, width, height >= 1;
// channelBuf holds the source channel's values packed with rowLength; dst and src lie in
// different frames (each destination sample is written once, from source values).
void EnhanceChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height, const uint8_t* channelBuf, const int32_t* labelBuf,
                    const uint8_t* boundaryBuf, int rowLength, int factor, int sh);

// Every pixel becomes the truncated weighted mean of itself and those of its eight
// neighbours that carry its label: centre centreWeight + 2, orthogonal 2, diagonal 1.
// Positions outside the plane are missing (not mirrored), which lowers the divisor.
void SmoothSegments(uint8_t* dst, int dstPitch, int dstStep, const uint8_t* channelBuf,
                    const int32_t* labelBuf, int rowLength, int width, int height,
                    int centreWeight);

// Every boundary pixel (boundaryBuf 0) becomes clamp((100 + sh) * src / 100, 0, 255), signed
// truncating division; interior pixels of dst are left as they are.
void AmplifyBoundaries(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch,
                       const uint8_t* boundaryBuf, int rowLength, int width, int height,
                       int step, int sh);
