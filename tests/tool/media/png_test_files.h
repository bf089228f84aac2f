// PNG files for the tests, made and taken apart with libpng and zlib themselves: kinds the
// library never writes, and damaged ones.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Writes rows (already in the file's bit depth and layout) with libpng itself, for the
// kinds of PNG the library reads but never writes. configure may add chunks or choose
// libpng's settings (filters, chunk sizes) before the header is written.
inline void WriteRawPng(const std::string& path, int width, int bitDepth, int colourType,
                        std::vector<std::vector<uint8_t>> rows, bool interlaced = false,
                        const std::function<void(png_structp, png_infop)>& configure = {}) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, static_cast<png_uint_32>(rows.size()), bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (configure) configure(png, info);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto& row : rows) pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(file);
}

// What libpng makes of a file when asked, as ReadPng asks, for RGB or RGBA with 16-bit samples
// in the machine's byte order: the samples' bytes, or libpng's error message.
struct LibpngDecoding {
    std::vector<uint8_t> bytes;
    std::string error;  // empty when decoded
};

namespace png_test_detail {

inline void KeepError(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

// Errors longjmp here: this frame owns no object with a destructor.
inline bool Decode(png_structp png, png_infop info, std::vector<uint8_t>* bytes,
                   std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_set_expand(png);  // palettes and low bit depths to 8 bits, tRNS to alpha
    png_set_gray_to_rgb(png);
    if (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    bytes->resize(rowBytes * png_get_image_height(png, info));
    for (std::size_t at = 0; at < bytes->size(); at += rowBytes) rows->push_back(&(*bytes)[at]);
    png_read_image(png, rows->data());
    png_read_end(png, info);
    return true;
}

}  // namespace png_test_detail

inline LibpngDecoding DecodeWithLibpng(const std::string& path) {
    LibpngDecoding result;
    FILE* file = fopen(path.c_str(), "rb");
    EXPECT_NE(file, nullptr);
    if (!file) return result;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &result.error, png_test_detail::KeepError,
                               [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    std::vector<png_bytep> rows;
    if (!png_test_detail::Decode(png, info, &result.bytes, &rows)) result.bytes.clear();
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    return result;
}

// A PNG file taken apart into its chunks, to damage one and put the file together again.
struct PngChunk {
    std::string type;
    std::string data;
};

inline std::vector<PngChunk> SplitPng(const std::string& png) {
    std::vector<PngChunk> chunks;
    const auto byte = [&](std::size_t at) { return static_cast<uint8_t>(png[at]); };
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length =
            std::size_t{byte(at)} << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
        chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

// The signature and the chunks, each with its length and CRC.
inline std::string JoinPng(const std::vector<PngChunk>& chunks) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    const auto put32 = [&](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(static_cast<char>(value >> shift));
    };
    for (const PngChunk& chunk : chunks) {
        put32(static_cast<uint32_t>(chunk.data.size()));
        const std::string covered = chunk.type + chunk.data;
        png += covered;
        put32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(covered.data()),
                                          static_cast<uInt>(covered.size()))));
    }
    return png;
}
