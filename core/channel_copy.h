// Moving one channel between strided planes and the packed working buffer.
#pragma once

#include "plane_view.h"

// Gathers a channel into scratch.channel, packed: entry y * width + x = src sample (x, y),
// as the kernels compute with it (a float with the range's offset added and a non-finite one
// at an end of the range: ReadFloatSample). A width or height below 1 writes nothing.
template <typename Sample>
void ExtractChannel(ChannelScratch<Sample> scratch, SourcePlane<Sample> src,
                    SampleRange range);

// Copies one channel between planes of the same layout (dst's width, height and step are
// src's). The bytes between the steps (the other channels of a packed pixel) are never
// touched. A width or height below 1 writes nothing.
template <typename Sample>
void CopyChannel(PlaneView<Sample> dst, SourcePlane<Sample> src);
