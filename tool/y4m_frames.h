// YUV4MPEG2 frames in and out of host frames: 4:2:0 planes go straight into the planes of
// I420 or YV12 frames, 4:2:2 is packed into YUY2 (Y0 U Y1 V) and unpacked again.
#pragma once

#include <avisynth.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "command_line.h"
#include "plane_buffer.h"
#include "y4m_header.h"
#include "y4m_writer.h"

namespace cli {

// numFrames may be INT_MAX for a stream whose length is unknown.
VideoInfo videoInfoOf(const media::Y4mHeader& header, PlanarOrder order, int numFrames);

// Reads one frame's Y, U and V planes (of the header's sizes) into the given destinations.
using PlaneReader = std::function<void(const media::PlaneDest& y, const media::PlaneDest& u,
                                       const media::PlaneDest& v)>;

// Fills the writable frame `frame` of clip type vi.pixel_type through read.
void readIntoFrame(VideoFrame& frame, const VideoInfo& vi, const PlaneReader& read);

// Writes frame as the next frame of writer. scratch holds unpacked 4:2:2 planes.
void writeFromFrame(media::Y4mWriter& writer, const VideoFrame& frame, const VideoInfo& vi,
                    const media::Y4mFrameHeader& frameHeader, std::vector<uint8_t>& scratch);

}  // namespace cli
