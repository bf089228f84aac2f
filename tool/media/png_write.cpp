#include <cerrno>
#include <new>
#include <vector>

#include "file_io.h"
#include "media_error.h"
#include "png_errors.h"
#include "png_io.h"

namespace media {

namespace {

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
bool writePngImage(png_structp png, png_infop info, int width, int height, bool hasAlpha,
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

void writePng(std::FILE* file, const std::string& displayName, const RgbImage& image) {
    checkImageConsistent(image);
    // libpng takes non-const row pointers but only reads them when writing.
    auto* pixels = const_cast<png_byte*>(image.pixels.data());
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (std::size_t row = 0; row < rows.size(); ++row) rows[row] = pixels + row * image.stride();

    PngFailure failure{};
    PngOutput output{file, &failure};
    PngWriteStructs structs(&failure);
    png_set_write_fn(structs.png(), &output, writePngData, flushPngData);
    if (!writePngImage(structs.png(), structs.info(), image.width, image.height, image.hasAlpha,
                       rows.data())) {
        if (failure.systemError != 0)
            throwSystemError(displayName, "write error", failure.systemError);
        throwMediaError(displayName, std::string("cannot encode PNG (") + failure.message + ")");
    }
    flushOutput(file, displayName);
}

void writePng(const std::string& path, const RgbImage& image) {
    checkImageConsistent(image);
    FilePtr file = openOutputFile(path);
    writePng(file.get(), path, image);
    closeOutputFile(std::move(file), path);
}

}  // namespace media
