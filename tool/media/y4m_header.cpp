#include "y4m_io.h"

#include <climits>
#include <utility>

#include "header_text.h"
#include "media_error.h"
#include "picture.h"

namespace media {

namespace {

constexpr std::string_view kMagic = "YUV4MPEG2";
constexpr std::string_view kFrameMarker = "FRAME";
constexpr const char* kSupportedColourSpaces =
    "420, 420jpeg, 420mpeg2, 420paldv, 422, 444, mono; 420p, 422p or 444p followed by 9, 10, "
    "12, 14 or 16; mono9, mono10, mono12, mono16";

// W and H: a positive whole number; the upper limit is checked with the other dimension.
long long ParseDimension(std::string_view token, const char* what, const std::string& name) {
    long long value = 0;
    if (!ParseDecimal(token.substr(1), value) || value < 1) {
        ThrowMediaError(name, "bad " + std::string(what) + " '" + Printable(token) +
                                  "' in the YUV4MPEG2 header (expected a positive number)");
    }
    return value;
}

// "n:d" into num and den; leaves them 0 when the text is not of that form, because these
// values are informative only and are copied to the output as text anyway.
void ParseRatio(std::string_view text, int& num, int& den) {
    const std::size_t colon = text.find(':');
    long long n = 0;
    long long d = 0;
    if (colon == std::string_view::npos || !ParseDecimal(text.substr(0, colon), n) ||
        !ParseDecimal(text.substr(colon + 1), d) || n > INT_MAX || d > INT_MAX) {
        num = den = 0;
        return;
    }
    num = static_cast<int>(n);
    den = static_cast<int>(d);
}

struct ColourSpace {
    Y4mChroma chroma;
    int bitDepth;
};

// The depths that follow "420p", "422p", "444p" or "mono" in a colour space's name.
bool ParseDepthSuffix(std::string_view digits, bool mono, int& bitDepth) {
    for (const int depth : {9, 10, 12, 14, 16}) {
        if (digits == std::to_string(depth) && !(mono && depth == 14)) {
            bitDepth = depth;
            return true;
        }
    }
    return false;
}

ColourSpace ParseColourSpace(std::string_view token, const std::string& name) {
    const std::string_view space = token.substr(1);
    if (space == "420" || space == "420jpeg" || space == "420mpeg2" || space == "420paldv")
        return {Y4mChroma::Yuv420, 8};
    if (space == "422") return {Y4mChroma::Yuv422, 8};
    if (space == "444") return {Y4mChroma::Yuv444, 8};
    if (space == "mono") return {Y4mChroma::Mono, 8};
    static constexpr std::pair<std::string_view, Y4mChroma> kDeep[] = {
        {"420p", Y4mChroma::Yuv420},
        {"422p", Y4mChroma::Yuv422},
        {"444p", Y4mChroma::Yuv444},
        {"mono", Y4mChroma::Mono},
    };
    for (const auto& [prefix, chroma] : kDeep) {
        int bitDepth = 0;
        if (space.substr(0, prefix.size()) == prefix &&
            ParseDepthSuffix(space.substr(prefix.size()), chroma == Y4mChroma::Mono, bitDepth))
            return {chroma, bitDepth};
    }
    ThrowMediaError(name, "colour space " + Printable(token) +
                              " is not supported (supported: " + kSupportedColourSpaces + ")");
}

}  // namespace

int Y4mHeader::ChromaWidth() const {
    switch (chroma) {
        case Y4mChroma::Yuv420:
        case Y4mChroma::Yuv422:
            return width / 2;
        case Y4mChroma::Yuv444:
            return width;
        case Y4mChroma::Mono:
            break;
    }
    return 0;
}

int Y4mHeader::ChromaHeight() const {
    switch (chroma) {
        case Y4mChroma::Yuv420:
            return height / 2;
        case Y4mChroma::Yuv422:
        case Y4mChroma::Yuv444:
            return height;
        case Y4mChroma::Mono:
            break;
    }
    return 0;
}

std::size_t Y4mHeader::LumaBytes() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
           static_cast<std::size_t>(BytesPerSample());
}

std::size_t Y4mHeader::ChromaBytes() const {
    return static_cast<std::size_t>(ChromaWidth()) * static_cast<std::size_t>(ChromaHeight()) *
           static_cast<std::size_t>(BytesPerSample());
}

std::size_t Y4mHeader::FrameBytes() const { return LumaBytes() + 2 * ChromaBytes(); }

Y4mHeader ParseY4mHeader(std::string_view line, const std::string& name) {
    if (line.substr(0, kMagic.size()) != kMagic ||
        (line.size() > kMagic.size() && line[kMagic.size()] != ' ')) {
        ThrowMediaError(name, "not a YUV4MPEG2 file");
    }
    // The one line end a YUV4MPEG2 stream has is "\n"; say so rather than blame a token.
    if (!line.empty() && line.back() == '\r')
        ThrowMediaError(name, "the YUV4MPEG2 header ends in \\r\\n (a Windows line end), not \\n");
    Y4mHeader header;
    long long width = 0;
    long long height = 0;
    std::string_view rest = line.substr(kMagic.size());
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        const std::string_view token = rest.substr(0, space);
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        if (token.empty()) continue;
        header.params.emplace_back(token);
        switch (token[0]) {
            case 'W':
                width = ParseDimension(token, "width", name);
                break;
            case 'H':
                height = ParseDimension(token, "height", name);
                break;
            case 'C': {
                const ColourSpace space = ParseColourSpace(token, name);
                header.chroma = space.chroma;
                header.bitDepth = space.bitDepth;
                header.colourSpace = std::string(token.substr(1));
                break;
            }
            case 'F':
                ParseRatio(token.substr(1), header.frameRateNum, header.frameRateDen);
                break;
            default:
                break;  // I, A, X and unknown parameters are carried through untouched
        }
    }
    if (width == 0) ThrowMediaError(name, "the YUV4MPEG2 header has no width (W)");
    if (height == 0) ThrowMediaError(name, "the YUV4MPEG2 header has no height (H)");
    CheckPictureSize(name, width, height);
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(height);
    if (header.chroma == Y4mChroma::Yuv420 && (width % 2 != 0 || height % 2 != 0)) {
        ThrowMediaError(name, "4:2:0 video needs an even width and height, not " +
                                  std::to_string(width) + "x" + std::to_string(height));
    }
    if (header.chroma == Y4mChroma::Yuv422 && width % 2 != 0) {
        ThrowMediaError(name, "4:2:2 video needs an even width, not " + std::to_string(width));
    }
    return header;
}

std::string FormatY4mHeader(const Y4mHeader& header) {
    std::string text(kMagic);
    for (const std::string& token : header.params) {
        text += ' ';
        text += token;
    }
    text += '\n';
    return text;
}

std::string ParseFrameLine(std::string_view line, const std::string& name, int frameNumber) {
    if (line.substr(0, kFrameMarker.size()) != kFrameMarker ||
        (line.size() > kFrameMarker.size() && line[kFrameMarker.size()] != ' ')) {
        ThrowMediaError(name, "frame " + std::to_string(frameNumber) +
                                  " does not start with a FRAME line (is the file damaged, or "
                                  "its frames not the size the header gives?)");
    }
    return std::string(line.substr(kFrameMarker.size()));
}

}  // namespace media
