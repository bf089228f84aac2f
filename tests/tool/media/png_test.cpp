#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <functional>

#include "media_test_support.h"
#include "formats.h"
#include "picture_file.h"
#include "png_io.h"

using namespace media;

namespace {

Picture makePicture(int width, int height, bool alpha, unsigned seed) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.hasAlpha = alpha;
    picture.pixels = patternPixels(picture.stride() * static_cast<std::size_t>(height), seed);
    return picture;
}

// Writes rows (already in the file's bit depth and layout) with libpng itself, for the
// kinds of PNG the library reads but never writes.
void writeRawPng(const std::string& path, int width, int bitDepth, int colourType,
                 std::vector<std::vector<uint8_t>> rows, bool interlaced = false,
                 const std::function<void(png_structp, png_infop)>& extraChunks = {}) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, static_cast<png_uint_32>(rows.size()), bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (extraChunks) extraChunks(png, info);
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto& row : rows) pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    fclose(file);
}

using PngTest = MediaTest;

TEST_F(PngTest, RoundTripsRgbAndRgba) {
    for (const bool alpha : {false, true}) {
        const Picture picture = makePicture(37, 23, alpha, alpha ? 7 : 3);
        writePictureFile(path("out.png"), picture);
        const Picture back = readPicture(path("out.png"));
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 23);
        EXPECT_EQ(back.hasAlpha, alpha);
        EXPECT_EQ(back.pixels, picture.pixels);
    }
}

TEST_F(PngTest, ScalesSixteenBitSamplesRatherThanStrippingThem) {
    // 0x01FF: dropping the low byte gives 1, scaling by 255/65535 gives 2.
    writeRawPng(path("deep.png"), 2, 16, PNG_COLOR_TYPE_RGB,
                {{0xFF, 0xFF, 0x80, 0x80, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x7F, 0xFF, 0xFF}});
    const Picture picture = readPicture(path("deep.png"));
    EXPECT_FALSE(picture.hasAlpha);
    EXPECT_EQ(picture.pixels, (media::PixelBytes{255, 128, 2, 0, 0, 255}));
}

TEST_F(PngTest, ExpandsGreyPaletteAndTransparencyToRgba) {
    writeRawPng(path("grey.png"), 3, 8, PNG_COLOR_TYPE_GRAY, {{7, 200, 7}}, false,
                [](png_structp png, png_infop info) {
                    png_color_16 transparent{};
                    transparent.gray = 7;
                    png_set_tRNS(png, info, nullptr, 0, &transparent);
                });
    EXPECT_EQ(readPicture(path("grey.png")).pixels,
              (media::PixelBytes{7, 7, 7, 0, 200, 200, 200, 255, 7, 7, 7, 0}));

    // Two bits per pixel: indices 0, 1, 2, 3 packed in one byte.
    writeRawPng(path("palette.png"), 4, 2, PNG_COLOR_TYPE_PALETTE, {{0x1B}}, false,
                [](png_structp png, png_infop info) {
                    png_color palette[4] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}};
                    png_byte alpha[2] = {0, 128};
                    png_set_PLTE(png, info, palette, 4);
                    png_set_tRNS(png, info, alpha, 2, nullptr);
                });
    const Picture palette = readPicture(path("palette.png"));
    EXPECT_TRUE(palette.hasAlpha);
    EXPECT_EQ(palette.pixels, (media::PixelBytes{10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255,
                                                    1, 2, 3, 255}));

    // One bit per pixel and interlaced: 9 pixels per row reach past the first byte.
    writeRawPng(path("bits.png"), 9, 1, PNG_COLOR_TYPE_GRAY,
                {{0xA5, 0x80}, {0x00, 0x00}, {0xFF, 0x80}}, true);
    const Picture bits = readPicture(path("bits.png"));
    ASSERT_EQ(bits.pixels.size(), 3u * 9 * 3);
    EXPECT_FALSE(bits.hasAlpha);
    const int row0[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
    for (int x = 0; x < 9; ++x) {
        EXPECT_EQ(bits.pixels[x * 3], row0[x] * 255) << x;
        EXPECT_EQ(bits.pixels[x * 3 + 2], row0[x] * 255) << x;
        EXPECT_EQ(bits.pixels[27 + x * 3], 0) << x;
        EXPECT_EQ(bits.pixels[54 + x * 3 + 1], 255) << x;
    }
}

// A signature and an IHDR chunk with a valid CRC claiming the given size; nothing else.
std::string forgedHeader(uint32_t width, uint32_t height) {
    std::string chunk = "IHDR";
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            chunk.push_back(static_cast<char>(value >> shift));
    }
    chunk += std::string("\x08\x02\x00\x00\x00", 5);
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
    std::string bytes = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0d", 12) + chunk;
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(crc >> shift));
    return bytes;
}

TEST_F(PngTest, RefusesBadFilesWithTheirName) {
    const std::string file = path("bad.png");
    writePictureFile(file, makePicture(64, 64, false, 1));
    const std::string valid = readFile(file);

    writeFile(file, valid.substr(0, valid.size() / 2));
    expectMediaError([&] { readPicture(file); }, {file + ": the PNG data is truncated"});

    std::string damaged = valid;
    damaged[valid.find("IDAT") + 20] ^= 0x55;
    writeFile(file, damaged);
    expectMediaError([&] { readPicture(file); }, {file + ": corrupt PNG ("});

    writeFile(file, "P6\n1 1\n255\nabc");
    expectMediaError([&] { readPicture(file); }, {file + ": not a PNG file"});

    // The claimed size is refused before anything is read or reserved for the pixels.
    for (const auto& [width, height] : {std::pair{100000u, 100000u}, std::pair{16384u, 16384u}}) {
        writeFile(file, forgedHeader(width, height));
        expectMediaError([&] { readPicture(file); },
                         {file + ": picture size", "exceeds the maximum"});
    }

    expectMediaError([&] { readPicture(path("missing.png")); },
                     {"missing.png: cannot open for reading"});

    FILE* full = fopen("/dev/full", "wb");
    if (!full) return;
    expectMediaError([&] { writePng(full, "out.png", makePicture(300, 300, true, 2)); },
                     {"out.png: write error: No space left on device"});
    fclose(full);
}

}  // namespace
