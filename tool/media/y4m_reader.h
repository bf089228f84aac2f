// Reads 8-bit YUV4MPEG2 video (4:2:0 or 4:2:2), either in order from any stream or, for
// regular files, by frame number from several threads at once.
//
// Frame numbers in messages and in the API count from 0.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "file_io.h"
#include "plane_buffer.h"
#include "y4m_header.h"

namespace media {

class Y4mReader {
public:
    // Opens path and reads the stream header; "-" reads standard input.
    explicit Y4mReader(const std::string& path);
    // Reads the stream header from file's current position. The caller keeps ownership
    // of file, which must outlive the reader; displayName goes into messages.
    Y4mReader(std::FILE* file, std::string displayName);

    Y4mReader(const Y4mReader&) = delete;
    Y4mReader& operator=(const Y4mReader&) = delete;

    const Y4mHeader& header() const { return header_; }
    const std::string& name() const { return name_; }

    // Reads the next frame: its FRAME parameters into frameHeader, its planes row by row
    // into y, u and v (header().width x height for Y; chromaWidth() x chromaHeight() for
    // U and V). Returns false at a clean end of input (no byte after the previous frame).
    // Throws MediaError naming the file and frame on a truncated frame or a bad FRAME line.
    // After a throw the planes may hold an incomplete frame.
    bool readFrame(Y4mFrameHeader& frameHeader, const PlaneDest& y, const PlaneDest& u,
                   const PlaneDest& v);

    // The number of the frame readFrame reads next.
    int nextFrameNumber() const { return nextFrame_; }

    // Regular files only (a pipe or terminal gives a MediaError). Scans the file once,
    // reading each FRAME line and seeking over the planes, and records where each frame
    // is. A damaged FRAME line or a truncated last frame is reported here, naming the
    // frame, so the tool fails before it spends time on the frames before it. Later calls
    // return the recorded count. Does not move the position readFrame reads from.
    int countFrames();

    // Makes readFrame continue with frame frameNumber (0 to countFrames(); the count
    // itself means the end). Counts the frames first if that has not been done.
    void seekToFrame(int frameNumber);

    // Reads frame frameNumber like readFrame, without touching the sequential position.
    // countFrames() must have returned first. Safe to call from several threads at once
    // (into different destinations), provided nothing else is called on the reader
    // meanwhile: it uses pread on the file descriptor and only reads the frame table.
    void readFrameAt(int frameNumber, Y4mFrameHeader& frameHeader, const PlaneDest& y,
                     const PlaneDest& u, const PlaneDest& v) const;

private:
    struct FrameLocation {
        long long lineOffset;  // where "FRAME" starts
        long long dataOffset;  // where the Y plane starts
        std::string params;
    };

    void readStreamHeader();
    void checkDestinations(const PlaneDest& y, const PlaneDest& u, const PlaneDest& v) const;
    [[noreturn]] void throwTruncated(int frameNumber, std::size_t got) const;

    FilePtr ownedFile_;
    std::FILE* file_ = nullptr;
    std::string name_;
    Y4mHeader header_;
    int nextFrame_ = 0;
    long long firstFrameOffset_ = -1;  // -1 where the stream cannot tell its position
    bool counted_ = false;
    std::vector<FrameLocation> frames_;
    long long endOffset_ = 0;          // just past the last frame, once counted
    std::vector<uint8_t> rowScratch_;  // for readFrame into destinations with padded rows
};

}  // namespace media
