// YUV4MPEG2 video at 8 to 16 bits: its stream and frame headers, a reader and a writer.
//
// A stream starts with "YUV4MPEG2" and space-separated parameters (W<width> H<height>
// F<n>:<d> I<c> A<n>:<d> C<colour space> X<anything>) on one line. Each frame is a line
// "FRAME" with optional parameters of its own, then the Y, U and V planes (Y alone for
// mono). Samples of 9 to 16 bits take two bytes each, little-endian, as ffmpeg writes them;
// readers and writers exchange them with the caller as the machine's own uint16_t.
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

// The colour spaces, as ffmpeg writes and reads them:
//   8 bits:      420, 420jpeg, 420mpeg2, 420paldv (and a header without C), 422, 444, mono
//   9-16 bits:   420p<B>, 422p<B> and 444p<B> for B = 9, 10, 12, 14, 16;
//                mono<B> for B = 9, 10, 12, 16
// The 4:2:0 siting variants differ only in where chroma samples sit, which does not change
// the bytes. Others (411, 444alpha, mono14, which ffmpeg would read as 8-bit mono) are refused.
enum class Y4mChroma { Yuv420, Yuv422, Yuv444, Mono };

struct Y4mHeader {
    int width = 0;
    int height = 0;
    Y4mChroma chroma = Y4mChroma::Yuv420;
    // 8 to 16. Above 8, every sample takes two bytes and holds 0 to 2^bitDepth - 1.
    int bitDepth = 8;
    // The C parameter's value as written ("420jpeg", "444p10"), for messages; "" without one.
    std::string colourSpace;

    // For display only, 0 when absent or not of the form n:d. The tokens below are what a
    // writer reproduces, whatever this says.
    int frameRateNum = 0;
    int frameRateDen = 0;

    // Every parameter token after "YUV4MPEG2", in input order, e.g. {"W1920", "H1080",
    // "F25:1", "Ip", "A1:1", "C420jpeg", "XYSCSS=420JPEG"}. Runs of spaces between tokens
    // are not kept.
    std::vector<std::string> params;

    int BytesPerSample() const { return bitDepth > 8 ? 2 : 1; }
    int MaxSample() const { return (1 << bitDepth) - 1; }
    int PlaneCount() const { return chroma == Y4mChroma::Mono ? 1 : 3; }
    // 0 for mono, which has no chroma planes.
    int ChromaWidth() const;
    int ChromaHeight() const;
    std::size_t LumaBytes() const;
    std::size_t ChromaBytes() const;  // one chroma plane; 0 for mono
    std::size_t FrameBytes() const;   // every plane, without the FRAME line
};

struct Y4mFrameHeader {
    // The text between "FRAME" and the newline, byte for byte: "" or text starting with a
    // space, such as " Itpb".
    std::string params;
};

// Parses a header line (without its '\n'), validating it fully: "YUV4MPEG2" first, W and H
// present, positive and within the limits of picture.h, a supported colour space, and
// dimensions divisible as the chroma subsampling needs (4:2:0 even width and height, 4:2:2
// even width). Throws MediaError naming the file.
Y4mHeader ParseY4mHeader(std::string_view line, const std::string& name);

// "YUV4MPEG2" and the header's tokens, space-separated, with the final '\n'.
std::string FormatY4mHeader(const Y4mHeader& header);

// Checks a FRAME line (without its '\n') and returns its parameter text. frameNumber,
// counted from 0, goes into the error message.
std::string ParseFrameLine(std::string_view line, const std::string& name, int frameNumber);

// Reads YUV4MPEG2 video in any of the colour spaces above, either in order from any stream
// or, for regular files, by frame number from several threads at once.
//
// Planes go into the caller's memory: PlaneDest's pitch counts bytes and must hold a row of
// the plane's width times bytesPerSample(). For mono, u and v are not used (they may be
// empty). Two-byte samples arrive as uint16_t in the machine's byte order; a sample beyond
// maxSample() is refused with a MediaError naming the frame, plane and position, so that
// whatever is read fits the header's depth (and a file of other bits, such as samples shifted
// to the top of the word, is not taken for one).
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

    const Y4mHeader& Header() const { return header_; }
    const std::string& Name() const { return name_; }

    // Reads the next frame: its FRAME parameters into frameHeader, its planes row by row
    // into y, u and v (header().width x height for Y; chromaWidth() x chromaHeight() for
    // U and V). Returns false at a clean end of input (no byte after the previous frame).
    // Throws MediaError naming the file and frame on a truncated frame, a bad FRAME line or
    // a sample beyond the depth. After a throw the planes may hold an incomplete frame.
    bool ReadFrame(Y4mFrameHeader& frameHeader, const PlaneDest& y, const PlaneDest& u,
                   const PlaneDest& v);

    // Reads past the next frame as readFrame would, checking its FRAME line, that it is
    // whole and its samples' range, and keeps nothing of it. Returns false at a clean end of
    // input.
    bool SkipFrame();

    // True when the input ends before the next frame (waits for a pipe's next byte).
    bool AtEnd();

    // The number of the frame readFrame or skipFrame reads next.
    int NextFrameNumber() const { return nextFrame_; }

    // Regular files only (a pipe or terminal gives a MediaError). Scans the file once,
    // reading each FRAME line and seeking over the planes, and records where each frame
    // is. A damaged FRAME line or a truncated last frame is reported here, naming the
    // frame, so the tool fails before it spends time on the frames before it. Later calls
    // return the recorded count. Does not move the position readFrame reads from.
    int CountFrames();

    // Reads frame frameNumber like readFrame, without touching the sequential position.
    // countFrames() must have returned first. Safe to call from several threads at once
    // (into different destinations), provided nothing else is called on the reader
    // meanwhile: it uses pread on the file descriptor and only reads the frame table.
    void ReadFrameAt(int frameNumber, Y4mFrameHeader& frameHeader, const PlaneDest& y,
                     const PlaneDest& u, const PlaneDest& v) const;

private:
    struct FrameLocation {
        long long dataOffset;  // where the Y plane starts
        std::string params;
    };

    void ReadStreamHeader();
    // The next FRAME line into frameHeader; false at a clean end of input.
    bool ReadFrameLine(Y4mFrameHeader& frameHeader);
    void CheckDestinations(const PlaneDest& y, const PlaneDest& u, const PlaneDest& v) const;
    // Puts two-byte samples into the machine's order and checks them against the depth.
    void FinishSamples(int frameNumber, const PlaneDest& y, const PlaneDest& u,
                       const PlaneDest& v) const;
    [[noreturn]] void ThrowTruncated(int frameNumber, std::size_t got) const;
    // index counts samples from the start of the frame, in file order.
    [[noreturn]] void ThrowSampleBeyond(int frameNumber, std::size_t index, unsigned value) const;

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

// Writes YUV4MPEG2 video, reproducing a read header's parameters byte for byte. Planes come
// from the caller's memory as the reader delivers them (pitch in bytes; two-byte samples as
// the machine's uint16_t, none beyond the header's maxSample(); u and v unused for mono).
class Y4mWriter {
public:
    // Writes to file, which the caller keeps ownership of; displayName goes into messages.
    Y4mWriter(std::FILE* file, std::string displayName);

    Y4mWriter(const Y4mWriter&) = delete;
    Y4mWriter& operator=(const Y4mWriter&) = delete;

    // Writes "YUV4MPEG2" and header.params. The frame geometry is taken from the tokens,
    // so header's width, height, chroma and bit depth must agree with them
    // (std::invalid_argument otherwise): a header from Y4mReader or parseY4mHeader always does.
    void WriteHeader(const Y4mHeader& header);

    // Writes "FRAME", frameHeader.params, '\n' and the planes (sizes as in the header),
    // then flushes, so that a reader at the other end of a pipe gets whole frames and a
    // failing write is reported at the frame that caused it. A sample beyond the depth is
    // the caller's bug: std::invalid_argument, and nothing of the frame is written.
    void WriteFrame(const Y4mFrameHeader& frameHeader, const PlaneSource& y, const PlaneSource& u,
                    const PlaneSource& v);

    // Flushes. Throws MediaError on a write error. Later calls do nothing, and no frame may
    // follow.
    void Close();

private:
    std::FILE* file_ = nullptr;
    std::string name_;
    Y4mHeader header_;
    bool headerWritten_ = false;
    bool closed_ = false;
    std::vector<uint8_t> frameBuffer_;  // one whole frame, so that it goes out in one write
};

}  // namespace media
