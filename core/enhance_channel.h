// Smoothing within regions and amplification of region boundaries for one channel.
#pragma once

#include "plane_view.h"

// Writes the destination channel from the source channel after the watershed:
// SmoothSegments when factor > 0, then (when sh != 0) the boundaries scaled by (100 + sh)
// percent from the source values; with factor 0 the interior is copied unchanged.
// factor 0 and sh 0 writes nothing. Only dst's own samples are written.
// Preconditions (enforced at filter creation): factor 0..10, sh -10..10, width, height >= 1;
// dst has src's width, height and step; scratch.channel holds the source channel's values,
// scratch.label and scratch.boundary the watershed's regions of a channel of that size; dst
// and src lie in different frames (each destination sample is written once, from source
// values).
template <typename Sample>
void EnhanceChannel(PlaneView<Sample> dst, SourcePlane<Sample> src,
                    ChannelScratch<Sample> scratch, SampleRange range, int factor,
                    int sh);

// EnhanceChannel on rows firstRow .. endRow - 1 only (0 <= firstRow <= endRow <= height),
// with the same result there: smoothing reads the rows around a band from the scratch, which
// covers the whole channel. Bands of one channel may be written by different threads at once.
template <typename Sample>
void EnhanceRows(PlaneView<Sample> dst, SourcePlane<Sample> src, ChannelScratch<Sample> scratch,
                 SampleRange range, int factor, int sh, int firstRow, int endRow);

// Every pixel becomes the truncated weighted mean of itself and those of its eight
// neighbours that carry its label: centre centreWeight + 2, orthogonal 2, diagonal 1.
// Positions outside the plane are missing (not mirrored), which lowers the divisor.
template <typename Sample>
void SmoothSegments(PlaneView<Sample> dst, ChannelScratch<Sample> scratch,
                    SampleRange range, int centreWeight);

// Every boundary pixel becomes clamp((100 + sh) * src / 100, 0, maxValue), signed truncating
// division; interior pixels of dst are left as they are.
template <typename Sample>
void AmplifyBoundaries(PlaneView<Sample> dst, SourcePlane<Sample> src,
                       ChannelScratch<Sample> scratch, SampleRange range, int sh);
