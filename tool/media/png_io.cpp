#include "png_io.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "file_io.h"
#include "media_error.h"

namespace media {

namespace {

// libpng error plumbing shared by the reader and the writer.
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

// Warnings are dropped: they do not stop decoding and the tool's output is its own.
void onPngError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// ---- Reading ----

// The first bytes of every valid PNG: the signature and the IHDR chunk's length, type,
// width and height. They are read before libpng starts, to identify the file and check
// its size, and then handed to libpng again through the read callback.
constexpr std::size_t kPrefixSize = 24;

struct PngInput {
    std::FILE* file;
    const unsigned char* prefix;
    std::size_t prefixSize;
    std::size_t prefixUsed;
    PngFailure* failure;
};

void readPngData(png_structp png, png_bytep data, std::size_t length) {
    auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
    const std::size_t fromPrefix = length < input->prefixSize - input->prefixUsed
                                       ? length
                                       : input->prefixSize - input->prefixUsed;
    std::memcpy(data, input->prefix + input->prefixUsed, fromPrefix);
    input->prefixUsed += fromPrefix;
    if (fromPrefix == length) return;
    errno = 0;
    const std::size_t wanted = length - fromPrefix;
    if (std::fread(data + fromPrefix, 1, wanted, input->file) == wanted) return;
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
    std::size_t rowBytes;
};

// Reads the chunks before the pixel data and asks libpng for 8-bit RGB(A) output.
// Errors longjmp here: this frame owns no object with a destructor.
bool readPngLayout(png_structp png, png_infop info, PngLayout* layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, kMaxDimension, kMaxDimension);  // a second line of defence
    png_read_info(png, info);
    const png_byte colourType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    layout->width = png_get_image_width(png, info);
    layout->height = png_get_image_height(png, info);
    layout->channels = png_get_channels(png, info);
    layout->rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Errors longjmp here: this frame owns no object with a destructor.
bool readPngRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

class PngReadStructs {
public:
    explicit PngReadStructs(PngFailure* failure) {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning);
        if (png_) info_ = png_create_info_struct(png_);
        if (!info_) {
            png_destroy_read_struct(png_ ? &png_ : nullptr, nullptr, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngReadStructs() { png_destroy_read_struct(&png_, &info_, nullptr); }
    PngReadStructs(const PngReadStructs&) = delete;
    PngReadStructs& operator=(const PngReadStructs&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

[[noreturn]] void throwPngFailure(const std::string& name, const PngFailure& failure) {
    if (failure.systemError != 0) throwSystemError(name, "read error", failure.systemError);
    if (failure.truncated) throwMediaError(name, "the PNG data is truncated");
    throwMediaError(name, std::string("corrupt PNG (") + failure.message + ")");
}

long long bigEndian32(const unsigned char* bytes) {
    return (static_cast<long long>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
}

// ---- Writing ----

struct PngOutput {
    std::FILE* file;
    PngFailure* failure;
};

void writePngData(png_structp png, png_bytep data, std::size_t length) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, length, output->file) == length) return;
    output->failure->systemError = errno != 0 ? errno : EIO;
    png_error(png, "write error");
}

// The caller flushes once at the end and checks the result; libpng's flush would not.
void flushPngData(png_structp) {}

// Errors longjmp here: this frame owns no object with a destructor.
bool writePngRows(png_structp png, png_infop info, int width, int height, bool hasAlpha,
                  png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kPngCompressionLevel);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

class PngWriteStructs {
public:
    explicit PngWriteStructs(PngFailure* failure) {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning);
        if (png_) info_ = png_create_info_struct(png_);
        if (!info_) {
            png_destroy_write_struct(png_ ? &png_ : nullptr, nullptr);
            throw std::bad_alloc();
        }
    }
    ~PngWriteStructs() { png_destroy_write_struct(&png_, &info_); }
    PngWriteStructs(const PngWriteStructs&) = delete;
    PngWriteStructs& operator=(const PngWriteStructs&) = delete;

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

}  // namespace

Picture readPng(std::FILE* file, const std::string& name) {
    unsigned char prefix[kPrefixSize];
    const std::size_t got = readBytes(file, prefix, sizeof prefix, name);
    if (got < 8 || png_sig_cmp(prefix, 0, 8) != 0) throwMediaError(name, "not a PNG file");
    if (got == kPrefixSize && std::memcmp(prefix + 12, "IHDR", 4) == 0) {
        checkPictureSize(name, bigEndian32(prefix + 16), bigEndian32(prefix + 20));
    }

    PngFailure failure{};
    PngInput input{file, prefix, got, 0, &failure};
    PngReadStructs structs(&failure);
    png_set_read_fn(structs.png(), &input, readPngData);
    PngLayout layout{};
    if (!readPngLayout(structs.png(), structs.info(), &layout)) throwPngFailure(name, failure);
    checkPictureSize(name, layout.width, layout.height);
    if ((layout.channels != 3 && layout.channels != 4) ||
        layout.rowBytes != static_cast<std::size_t>(layout.width) * layout.channels) {
        throwMediaError(name, "PNG layout not convertible to 8-bit RGB");
    }

    Picture picture;
    picture.width = static_cast<int>(layout.width);
    picture.height = static_cast<int>(layout.height);
    picture.hasAlpha = layout.channels == 4;
    picture.pixels.resize(checkedProduct(name, layout.rowBytes, layout.height));
    std::vector<png_bytep> rows(layout.height);
    for (png_uint_32 row = 0; row < layout.height; ++row) {
        rows[row] = picture.pixels.data() + row * layout.rowBytes;
    }
    if (!readPngRows(structs.png(), structs.info(), rows.data())) throwPngFailure(name, failure);
    return picture;
}

void writePng(std::FILE* file, const std::string& name, const Picture& picture) {
    checkPictureConsistent(picture);
    // libpng takes non-const row pointers but only reads them when writing.
    auto* pixels = const_cast<png_byte*>(picture.pixels.data());
    std::vector<png_bytep> rows(static_cast<std::size_t>(picture.height));
    for (std::size_t row = 0; row < rows.size(); ++row) rows[row] = pixels + row * picture.stride();

    PngFailure failure{};
    PngOutput output{file, &failure};
    PngWriteStructs structs(&failure);
    png_set_write_fn(structs.png(), &output, writePngData, flushPngData);
    if (!writePngRows(structs.png(), structs.info(), picture.width, picture.height,
                      picture.hasAlpha, rows.data())) {
        if (failure.systemError != 0)
            throwSystemError(name, "write error", failure.systemError);
        throwMediaError(name, std::string("cannot encode PNG (") + failure.message + ")");
    }
    flushOutput(file, name);
}

}  // namespace media
