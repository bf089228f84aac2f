// The stream header and frame headers of 8-bit YUV4MPEG2 video.
//
// A stream starts with "YUV4MPEG2" and space-separated parameters (W<width> H<height>
// F<n>:<d> I<c> A<n>:<d> C<colour space> X<anything>) on one line. Each frame is a line
// "FRAME" with optional parameters of its own, then the Y, U and V planes.
//
// Output must keep the input's parameters, including ones this library has no use for, so
// the header keeps every token in order and the frame header keeps its text verbatim.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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
    // writer reproduces, whatever these say.
    int frameRateNum = 0;
    int frameRateDen = 0;
    int pixelRatioNum = 0;  // A: width:height of one pixel
    int pixelRatioDen = 0;
    char interlacing = '?';  // the character after I: p, t, b, m; '?' when absent

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
// present, positive and within the limits of media_limits.h, a supported colour space, and
// dimensions divisible as the chroma subsampling needs. Throws MediaError naming the file.
Y4mHeader parseY4mHeader(std::string_view line, const std::string& name);

// "YUV4MPEG2" and the header's tokens, space-separated, with the final '\n'.
std::string formatY4mHeader(const Y4mHeader& header);

// Checks a FRAME line (without its '\n') and returns its parameter text. frameNumber,
// counted from 0, goes into the error message.
std::string parseFrameLine(std::string_view line, const std::string& name, int frameNumber);

}  // namespace media
