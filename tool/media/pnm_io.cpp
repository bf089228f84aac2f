#include "pnm_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "header_text.h"
#include "media_error.h"
#include "sample_order.h"

namespace media {

namespace {

constexpr const char* kSupported = "supported: P6 PPM and P7 PAM, 8 or 16 bits per sample";
// Headers are a few dozen bytes; the cap only stops an endless comment.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

struct PnmLayout {
    long long width = 0;
    long long height = 0;
    long long maxval = 0;
    long long depth = 0;
    std::string tupleType;
};

// Reads the header byte by byte (stdio buffers it) with the running total capped.
class HeaderScanner {
public:
    HeaderScanner(std::FILE* file, const std::string& name) : file_(file), name_(name) {}

    int Next() {
        if (++consumed_ > kMaxHeaderBytes) ThrowMediaError(name_, "the header is too long");
        errno = 0;
        const int c = getc_unlocked(file_);
        if (c == EOF && std::ferror(file_))
            ThrowSystemError(name_, "read error", errno != 0 ? errno : EIO);
        return c;
    }
    [[noreturn]] void Fail(const std::string& what) const {
        ThrowMediaError(name_, "malformed header (" + what + ")");
    }

private:
    std::FILE* file_;
    const std::string& name_;
    std::size_t consumed_ = 0;
};

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One PPM header number, after any whitespace and comments. Consumes the single
// whitespace byte that ends it, which for maxval is the last byte of the header.
long long ReadPpmNumber(HeaderScanner& scanner, const char* what) {
    int c = scanner.Next();
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != EOF) c = scanner.Next();
        } else if (IsSpace(c)) {
            c = scanner.Next();
        } else {
            break;
        }
    }
    std::string token;
    while (c != EOF && !IsSpace(c)) {
        token.push_back(static_cast<char>(c));
        if (token.size() > 18) break;
        c = scanner.Next();
    }
    if (c == EOF) scanner.Fail(std::string("the file ends in the ") + what);
    long long value = 0;
    if (!ParseDecimal(token, value))
        scanner.Fail(std::string(what) + " '" + Printable(token) + "' is not a number");
    return value;
}

PnmLayout ReadPpmHeader(HeaderScanner& scanner) {
    // The magic number is followed by whitespace; the first token is then read afresh.
    const int c = scanner.Next();
    if (!IsSpace(c) && c != '#') scanner.Fail("P6 must be followed by whitespace");
    if (c == '#') {
        for (int skipped = c; skipped != '\n';) {
            skipped = scanner.Next();
            if (skipped == EOF) scanner.Fail("the file ends in a comment");
        }
    }
    PnmLayout layout;
    layout.width = ReadPpmNumber(scanner, "width");
    layout.height = ReadPpmNumber(scanner, "height");
    layout.maxval = ReadPpmNumber(scanner, "maxval");
    layout.depth = 3;
    layout.tupleType = "RGB";
    return layout;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// PAM header lines: "KEYWORD value", blank lines and comments, up to ENDHDR.
PnmLayout ReadPamHeader(HeaderScanner& scanner) {
    PnmLayout layout;
    int c = scanner.Next();
    if (!IsSpace(c)) scanner.Fail("P7 must be followed by a newline");
    for (;;) {
        std::string line;
        for (c = scanner.Next(); c != '\n'; c = scanner.Next()) {
            if (c == EOF) scanner.Fail("the file ends before ENDHDR");
            line.push_back(static_cast<char>(c));
        }
        const std::string_view text = Trim(line);
        if (text.empty() || text[0] == '#') continue;
        const std::size_t split = text.find_first_of(" \t");
        const std::string_view key = text.substr(0, split);
        const std::string_view value =
            split == std::string_view::npos ? std::string_view() : Trim(text.substr(split));
        if (key == "ENDHDR") break;
        if (key == "TUPLTYPE") {
            // Several TUPLTYPE lines are joined with a space, as Netpbm does.
            if (!layout.tupleType.empty()) layout.tupleType += ' ';
            layout.tupleType += value;
            continue;
        }
        long long* field = key == "WIDTH"    ? &layout.width
                           : key == "HEIGHT" ? &layout.height
                           : key == "DEPTH"  ? &layout.depth
                           : key == "MAXVAL" ? &layout.maxval
                                             : nullptr;
        if (!field)
            scanner.Fail("unknown PAM header line '" + Printable(text.substr(0, 40)) + "'");
        if (!ParseDecimal(value, *field)) {
            scanner.Fail(std::string(key) + " '" + Printable(value.substr(0, 40)) +
                         "' is not a number");
        }
    }
    if (layout.width == 0 || layout.height == 0 || layout.depth == 0 || layout.maxval == 0) {
        scanner.Fail("WIDTH, HEIGHT, DEPTH or MAXVAL missing or zero");
    }
    return layout;
}

// The maxval line's value for the depth a picture is written at.
int WrittenMaxval(const Picture& picture, WriteDepth depth) {
    return picture.bitDepth == 16 && depth == WriteDepth::Picture ? 65535 : 255;
}

// Rows of 16-bit samples go out big-endian, a slice of rows at a time, so that a large
// picture needs no second copy of itself.
void WriteNetpbm(std::FILE* file, const std::string& name, const std::string& header,
                 const Picture& picture, WriteDepth depth) {
    WriteBytes(file, header.data(), header.size(), name);
    if (picture.bitDepth == 8) {
        WriteBytes(file, picture.pixels.data(), picture.pixels.size(), name);
    } else {
        const bool sixteen = depth == WriteDepth::Picture;
        const std::size_t stride = picture.Stride();
        const std::size_t rowsPerSlice = std::max<std::size_t>(1, (256 * 1024) / (2 * stride));
        std::vector<uint8_t> slice((sixteen ? 2 : 1) * stride * rowsPerSlice);
        for (std::size_t row = 0; row < static_cast<std::size_t>(picture.height);
             row += rowsPerSlice) {
            const std::size_t rows =
                std::min(rowsPerSlice, static_cast<std::size_t>(picture.height) - row);
            const uint16_t* samples = picture.pixels16.data() + row * stride;
            const std::size_t count = rows * stride;
            if (sixteen) {
                std::memcpy(slice.data(), samples, 2 * count);
                MatchByteOrder(slice.data(), count, false);
            } else {
                for (std::size_t i = 0; i < count; ++i) slice[i] = EightBitSample(samples[i]);
            }
            WriteBytes(file, slice.data(), (sixteen ? 2 : 1) * count, name);
        }
    }
    FlushOutput(file, name);
}

}  // namespace

Picture ReadPnm(std::FILE* file, const std::string& name) {
    HeaderScanner scanner(file, name);
    const int p = scanner.Next();
    const int kind = scanner.Next();
    if (p != 'P' || kind < '1' || kind > '7') ThrowMediaError(name, "not a PPM or PAM file");
    if (kind != '6' && kind != '7') {
        ThrowMediaError(name, std::string("Netpbm type P") + static_cast<char>(kind) +
                                  " is not supported (" + kSupported + ")");
    }
    const PnmLayout layout = kind == '6' ? ReadPpmHeader(scanner) : ReadPamHeader(scanner);
    if (layout.maxval != 255 && layout.maxval != 65535) {
        ThrowMediaError(name, "maxval " + std::to_string(layout.maxval) +
                                  " is not supported (only 255 for 8 bits and 65535 for 16 "
                                  "bits per sample)");
    }
    const bool rgb = layout.tupleType == "RGB" && layout.depth == 3;
    const bool rgbAlpha = layout.tupleType == "RGB_ALPHA" && layout.depth == 4;
    if (!rgb && !rgbAlpha) {
        ThrowMediaError(name, "PAM TUPLTYPE '" + Printable(layout.tupleType.substr(0, 40)) +
                                  "' with DEPTH " + std::to_string(layout.depth) +
                                  " is not supported (supported: RGB with DEPTH 3, RGB_ALPHA "
                                  "with DEPTH 4)");
    }
    CheckPictureSize(name, layout.width, layout.height);

    Picture picture;
    picture.width = static_cast<int>(layout.width);
    picture.height = static_cast<int>(layout.height);
    picture.hasAlpha = rgbAlpha;
    picture.bitDepth = layout.maxval == 255 ? 8 : 16;
    const std::size_t samples =
        CheckedProduct(name, picture.Stride(), static_cast<std::size_t>(picture.height));
    const std::size_t bytes = CheckedProduct(name, samples, picture.bitDepth / 8);
    // A short regular file is refused before its claimed size is reserved: a header of a few
    // bytes must not cost hundreds of megabytes.
    const long long left = BytesLeftInRegularFile(file);
    if (left >= 0 && static_cast<unsigned long long>(left) < bytes) {
        ThrowMediaError(name, "the pixel data is truncated (expected " + std::to_string(bytes) +
                                  " bytes, got " + std::to_string(left) + ")");
    }
    uint8_t* data = nullptr;
    if (picture.bitDepth == 8) {
        picture.pixels.resize(samples);
        data = picture.pixels.data();
    } else {
        picture.pixels16.resize(samples);
        data = reinterpret_cast<uint8_t*>(picture.pixels16.data());
    }
    const std::size_t got = ReadBytes(file, data, bytes, name);
    if (got < bytes) {
        ThrowMediaError(name, "the pixel data is truncated (expected " + std::to_string(bytes) +
                                  " bytes, got " + std::to_string(got) + ")");
    }
    if (picture.bitDepth == 16) MatchByteOrder(data, samples, false);
    return picture;
}

void WritePpm(std::FILE* file, const std::string& name, const Picture& picture,
              WriteDepth depth) {
    CheckPictureConsistent(picture);
    if (picture.hasAlpha)
        ThrowMediaError(name, "PPM cannot hold an alpha channel; write .png or .pam");
    WriteNetpbm(file, name,
                "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) +
                    "\n" + std::to_string(WrittenMaxval(picture, depth)) + "\n",
                picture, depth);
}

void WritePam(std::FILE* file, const std::string& name, const Picture& picture,
              WriteDepth depth) {
    CheckPictureConsistent(picture);
    WriteNetpbm(file, name,
                "P7\nWIDTH " + std::to_string(picture.width) + "\nHEIGHT " +
                    std::to_string(picture.height) + "\nDEPTH " +
                    std::to_string(picture.Channels()) + "\nMAXVAL " +
                    std::to_string(WrittenMaxval(picture, depth)) + "\nTUPLTYPE " +
                    (picture.hasAlpha ? "RGB_ALPHA" : "RGB") + "\nENDHDR\n",
                picture, depth);
}

}  // namespace media
