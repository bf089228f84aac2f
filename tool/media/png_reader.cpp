#include "png_io.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "file_io.h"
#include "media_error.h"
#include "png_plain_reader.h"
#include "sample_order.h"

namespace media {

namespace {

// libpng error plumbing.
//
// libpng reports a fatal error by calling the error function, which must not return. It
// records the message and longjmps back to the setjmp in the function that called libpng.
// C++ exceptions must not cross libpng's C frames, and a longjmp must not skip a C++
// destructor, so each function that calls setjmp owns only plain data; the libpng
// structures and every buffer belong to its caller.
struct PngFailure {
    char message[256];  // libpng's reason, or the one our I/O callbacks gave
    int systemError;    // errno of a failed read or write, else 0
    bool truncated;     // the input ended early
};

// Warnings are dropped: they do not stop decoding.
void OnPngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// ---- Reading ----

// The first bytes of every valid PNG: the signature and the IHDR chunk's length, type,
// width and height. They are read before libpng starts, to identify the file and check
// its size.
constexpr std::size_t kPrefixSize = 24;

// libpng reads first the bytes already taken from the stream (the prefix, and whatever the
// fast path read of a file it left to libpng), then the rest of the stream: it sees the file
// as if it were the first to read it.
struct PngInput {
    std::FILE* file;
    const unsigned char* alreadyRead;
    std::size_t alreadyReadSize;
    std::size_t alreadyReadUsed;
    PngFailure* failure;
};

void ReadPngData(png_structp png, png_bytep data, std::size_t length) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    const std::size_t fromMemory =
        std::min(length, input->alreadyReadSize - input->alreadyReadUsed);
    if (fromMemory != 0) std::memcpy(data, input->alreadyRead + input->alreadyReadUsed, fromMemory);
    input->alreadyReadUsed += fromMemory;
    if (fromMemory == length) return;
    errno = 0;
    const std::size_t wanted = length - fromMemory;
    if (std::fread(data + fromMemory, 1, wanted, input->file) == wanted) return;
    if (std::ferror(input->file)) {
        input->failure->systemError = errno != 0 ? errno : EIO;
        png_error(png, "read error");
    }
    input->failure->truncated = true;
    png_error(png, "truncated");
}

struct PngLayout {
    png_uint_32 width;
    png_uint_32 height;
    int channels;
    int bitDepth;
    std::size_t rowBytes;
};

// Reads the chunks before the pixel data and asks libpng for RGB(A) output, 16-bit samples
// in the machine's byte order, anything less widened to 8 bits.
// Errors longjmp here: this frame owns no object with a destructor.
bool ReadPngLayout(png_structp png, png_infop info, PngLayout* layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, kMaxDimension, kMaxDimension);  // a second line of defence
    png_read_info(png, info);
    const png_byte colourType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16 && kLittleEndianHost) png_set_swap(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    layout->channels = png_get_channels(png, info);
    layout->bitDepth = png_get_bit_depth(png, info);
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Errors longjmp here: this frame owns no object with a destructor.
bool ReadPngRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

class PngReadStructs {
public:
    explicit PngReadStructs(PngFailure* failure) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, failure, OnPngError, OnPngWarning);
        if (png_) info_ = png_create_info_struct(png_);
        if (!info_) {
            png_destroy_read_struct(png_ ? &png_ : nullptr, nullptr, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngReadStructs() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReadStructs(const PngReadStructs&) = delete;
    PngReadStructs& operator=(const PngReadStructs&) = delete;

    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

[[noreturn]] void ThrowPngFailure(const std::string& name, const PngFailure& failure) {
    if (failure.systemError != 0) ThrowSystemError(name, "read error", failure.systemError);
    if (failure.truncated) ThrowMediaError(name, "the PNG data is truncated");
    ThrowMediaError(name, std::string("corrupt PNG (") + failure.message + ")");
}

}  // namespace

Picture ReadPng(std::FILE* file, const std::string& name) {
    PixelBytes bytesRead(kPrefixSize);
    const std::size_t got = ReadBytes(file, bytesRead.data(), kPrefixSize, name);
    bytesRead.resize(got);
    const unsigned char* prefix = bytesRead.data();
    if (got < 8 || png_sig_cmp(prefix, 0, 8) != 0) ThrowMediaError(name, "not a PNG file");
    if (got == kPrefixSize && std::memcmp(prefix + 12, "IHDR", 4) == 0) {
        CheckPictureSize(name, BigEndian32(prefix + 16), BigEndian32(prefix + 20));
        Picture picture;
        if (ReadPlainPng(file, bytesRead, picture)) return picture;
    }

    PngFailure failure{};
    PngInput input{file, bytesRead.data(), bytesRead.size(), 0, &failure};
    PngReadStructs structs(&failure);
    png_set_read_fn(structs.Png(), &input, ReadPngData);
    PngLayout layout{};
    if (!ReadPngLayout(structs.Png(), structs.Info(), &layout)) ThrowPngFailure(name, failure);
    CheckPictureSize(name, layout.width, layout.height);
    if ((layout.channels != 3 && layout.channels != 4) ||
        (layout.bitDepth != 8 && layout.bitDepth != 16) ||
        layout.rowBytes != static_cast<std::size_t>(layout.width) * layout.channels *
                               static_cast<std::size_t>(layout.bitDepth / 8)) {
        ThrowMediaError(name, "PNG layout not convertible to RGB");
    }

    Picture picture;
    picture.width = static_cast<int>(layout.width);
    picture.height = static_cast<int>(layout.height);
    picture.hasAlpha = layout.channels == 4;
    picture.bitDepth = layout.bitDepth;
    const std::size_t samples = CheckedProduct(name, picture.Stride(), layout.height);
    png_bytep data = nullptr;
    if (picture.bitDepth == 8) {
        picture.pixels.resize(samples);
        data = picture.pixels.data();
    } else {
        picture.pixels16.resize(samples);
        data = reinterpret_cast<png_bytep>(picture.pixels16.data());
    }
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 row = 0; row < layout.height; ++row) rows[row] = data + row * layout.rowBytes;
    if (!ReadPngRows(structs.Png(), structs.Info(), rows.data())) ThrowPngFailure(name, failure);
    return picture;
}

}  // namespace media
