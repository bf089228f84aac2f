// 8-bit YUV4MPEG2 video: its stream and frame headers, a reader and a writer.
//
// A stream starts with "YUV4MPEG2" and space-separated parameters (W<width> H<height>
// F<n>:<d> I<c> A<n>:<d> C<colour space> X<anything>) on one line. Each frame is a line
// "FRAME" with optional parameters of its own, then the Y, U and V planes.
//
// Output must keep the input's parameters, including ones this library has no use for, so
// the header keeps every token in order and the frame header keeps its text verbatim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "planes.h"

namespace media {

// The longest header or FRAME line accepted, '\n' excluded. Real headers are well under
// 200 bytes; the cap stops a binary file from being scanned for a newline forever.
constexpr std::size_t kMaxY4mLineLength = 4096;

// 4:2:0 covers the colour spaces 420, 420jpeg, 420mpeg2, 420paldv and a header without C;
// 4:2:2 is 422. The siting variants differ only in where chroma samples sit, which does
// not change the bytes.
enum class Y4mChroma { k420, k422 };

struct Y4mHeader {
    int width = 0;
    int height = 0;
    Y4mChroma chroma = Y4mChroma::k420;

    // For display only, 0 when absent or not of the form n:d. The tokens below are what a
    // writer reproduces, whatever this says.
    int frameRateNum = 0;
    int frameRateDen = 0;

    // Every parameter token after "YUV4MPEG2", in input order, e.g. {"W1920", "H1080",
    // "F25:1", "Ip", "A1:1", "C420jpeg", "XYSCSS=420JPEG"}. Runs of spaces between tokens
    // are not kept.
    std::vector<std::string> params;

    int chromaWidth() const { return width / 2; }
    int chromaHeight() const { return chroma == Y4mChroma::k420 ? height / 2 : height; }
    std::size_t lumaBytes() const;
    std::size_t chromaBytes() const;  // one chroma plane
    std::size_t frameBytes() const;   // all three planes, without the FRAME line
};

struct Y4mFrameHeader {
    // The text between "FRAME" and the newline, byte for byte: "" or text starting with a
    // space, such as " Itpb".
    std::string params;
};

// Parses a header line (without its '\n'), validating it fully: "YUV4MPEG2" first, W and H
// present, positive and within the limits of picture.h, a supported colour space, and
// dimensions divisible as the chroma subsampling needs. Throws MediaError naming the file.
Y4mHeader parseY4mHeader(std::string_view line, const std::string& name);

// "YUV4MPEG2" and the header's tokens, space-separated, with the final '\n'.
std::string formatY4mHeader(const Y4mHeader& header);

// Checks a FRAME line (without its '\n') and returns its parameter text. frameNumber,
// counted from 0, goes into the error message.
std::string parseFrameLine(std::string_view line, const std::string& name, int frameNumber);

// Reads 8-bit YUV4MPEG2 video (4:2:0 or 4:2:2), either in order from any stream or, for
// regular files, by frame number from several threads at once.
//
// Frame numbers in messages and in the API count from 0.
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

    // Reads past the next frame as readFrame would, checking its FRAME line and that it is
    // whole, and keeps nothing of it. Returns false at a clean end of input.
    bool skipFrame();

    // True when the input ends before the next frame (waits for a pipe's next byte).
    bool atEnd();

    // The number of the frame readFrame or skipFrame reads next.
    int nextFrameNumber() const { return nextFrame_; }

    // Regular files only (a pipe or terminal gives a MediaError). Scans the file once,
    // reading each FRAME line and seeking over the planes, and records where each frame
    // is. A damaged FRAME line or a truncated last frame is reported here, naming the
    // frame, so the tool fails before it spends time on the frames before it. Later calls
    // return the recorded count. Does not move the position readFrame reads from.
    int countFrames();

    // Reads frame frameNumber like readFrame, without touching the sequential position.
    // countFrames() must have returned first. Safe to call from several threads at once
    // (into different destinations), provided nothing else is called on the reader
    // meanwhile: it uses pread on the file descriptor and only reads the frame table.
    void readFrameAt(int frameNumber, Y4mFrameHeader& frameHeader, const PlaneDest& y,
                     const PlaneDest& u, const PlaneDest& v) const;

private:
    struct FrameLocation {
        long long dataOffset;  // where the Y plane starts
        std::string params;
    };

    void readStreamHeader();
    // The next FRAME line into frameHeader; false at a clean end of input.
    bool readFrameLine(Y4mFrameHeader& frameHeader);
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
    std::vector<uint8_t> rowScratch_;  // for readFrame into destinations with padded rows
};

// Writes 8-bit YUV4MPEG2 video, reproducing a read header's parameters byte for byte.
class Y4mWriter {
public:
    // Writes to file, which the caller keeps ownership of; displayName goes into messages.
    Y4mWriter(std::FILE* file, std::string displayName);

    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    // Writes "YUV4MPEG2" and header.params. The frame geometry is taken from the tokens,
    // so header's width, height and chroma must agree with them (std::invalid_argument
    // otherwise): a header from Y4mReader or parseY4mHeader always does.
    void writeHeader(const Y4mHeader& header);

    // Writes "FRAME", frameHeader.params, '\n' and the planes (sizes as in the header),
    // then flushes, so that a reader at the other end of a pipe gets whole frames and a
    // failing write is reported at the frame that caused it.
    void writeFrame(const Y4mFrameHeader& frameHeader, const PlaneSource& y, const PlaneSource& u,
                    const PlaneSource& v);

    // Flushes. Throws MediaError on a write error. Later calls do nothing, and no frame may
    // follow.
    void close();

private:
    std::FILE* file_ = nullptr;
    std::string name_;
    Y4mHeader header_;
    bool headerWritten_ = false;
    bool closed_ = false;
    std::vector<uint8_t> frameBuffer_;  // one whole frame, so that it goes out in one write
};

}  // namespace media
