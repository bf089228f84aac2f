// Moving one channel between strided planes and the packed working buffer.
#pragma once

#include <cstdint>

// Gathers a strided channel into packed bytes: dst[y * dstPitch + x] = src[y * srcPitch + x * step].
// The step applies to the source only. A width or height below 1 writes nothing.
void ExtractChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                    int width, int height);

// Copies one channel between planes of the same layout:
// dst[y * dstPitch + x * step] = src[y * srcPitch + x * step]. The bytes between the steps
// (the other channels of an interleaved pixel) are never touched.
void CopyChannel(uint8_t* dst, int dstPitch, const uint8_t* src, int srcPitch, int step,
                 int width, int height);
