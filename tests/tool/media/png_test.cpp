#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <set>

#include "formats.h"
#include "media_test_support.h"
#include "picture_file.h"
#include "png_io.h"
#include "png_test_files.h"

using namespace media;

namespace {

Picture MakePicture(int width, int height, bool alpha, unsigned seed) {
    return PatternPicture(width, height, alpha, 8, seed);
}

// The filter type of every row of a PNG this library wrote (not interlaced): the IDAT chunks
// joined and inflated with zlib, one type byte at the start of each row.
std::set<int> FilterTypes(const std::string& png, std::size_t rowBytes, int height) {
    std::string compressed;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<uint8_t>(png[at + i]); };
        const std::size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (png.compare(at + 4, 4, "IDAT") == 0) compressed += png.substr(at + 8, length);
        at += 12 + length;
    }
    std::vector<uint8_t> raw((rowBytes + 1) * height);
    uLongf rawSize = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(compressed.data()),
                         compressed.size()),
              Z_OK);
    EXPECT_EQ(rawSize, raw.size());
    std::set<int> types;
    for (int y = 0; y < height; ++y) types.insert(raw[y * (rowBytes + 1)]);
    return types;
}

using PngTest = MediaTest;

TEST_F(PngTest, RoundTripsEveryDepthLayoutAndAwkwardSize) {
    for (const int depth : {8, 16}) {
        for (const bool alpha : {false, true}) {
            for (const auto& [width, height] :
                 {std::pair{37, 23}, {1, 1}, {1, 9}, {9, 1}, {200, 3}}) {
                SCOPED_TRACE(std::to_string(depth) + " bits, alpha " + std::to_string(alpha) +
                             ", " + std::to_string(width) + "x" + std::to_string(height));
                const Picture picture = PatternPicture(width, height, alpha, depth, width + height);
                WritePictureFile(Path("out.png"), picture);
                EXPECT_TRUE(SamePicture(ReadPicture(Path("out.png")), picture));
            }
        }
    }
}

TEST_F(PngTest, ChoosesAFilterPerRowAndEveryChoiceDecodes) {
    // Rows that favour each filter: noise, a copy of the row above (Up), a horizontal ramp
    // (Sub), and noise again (Paeth, mostly, after the ramp).
    const int width = 64;
    const int height = 40;
    for (const int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        Picture picture = PatternPicture(width, height, false, depth, 5);
        const std::vector<uint16_t> noise = PatternSamples(4096, 11);
        for (int y = 0; y < height; ++y) {
            for (int i = 0; i < width * 3; ++i) {
                const std::size_t at = static_cast<std::size_t>(y) * width * 3 + i;
                uint16_t value = noise[at % noise.size()];
                if (y % 4 == 1) value = noise[(at - width * 3) % noise.size()];  // as above
                if (y % 4 == 2) value = static_cast<uint16_t>(i / 3 * 514);  // pixel x: 514 x
                if (y % 4 == 3) value = noise[(i + 3 * (y / 4)) % 192 + 3000];
                if (depth == 8) picture.pixels[at] = static_cast<uint8_t>(value >> 8);
                else picture.pixels16[at] = value;
            }
        }
        WritePictureFile(Path("filters.png"), picture);
        EXPECT_TRUE(SamePicture(ReadPicture(Path("filters.png")), picture));
        EXPECT_EQ(FilterTypes(ReadFile(Path("filters.png")), width * 3 * depth / 8, height),
                  (std::set<int>{1, 2, 4}));
    }
}

TEST_F(PngTest, KeepsSixteenBitSamplesAndExpandsGreyToRgb) {
    WriteRawPng(Path("deep.png"), 2, 16, PNG_COLOR_TYPE_RGB,
                {{0xFF, 0xFF, 0x80, 0x81, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x7F, 0xFE, 0xFF}});
    const Picture rgb = ReadPicture(Path("deep.png"));
    EXPECT_EQ(rgb.bitDepth, 16);
    EXPECT_FALSE(rgb.hasAlpha);
    EXPECT_TRUE(rgb.pixels.empty());
    EXPECT_EQ(rgb.pixels16, (PixelWords{0xFFFF, 0x8081, 0x01FF, 0x0000, 0x007F, 0xFEFF}));

    // Grey with a transparent value: RGB plus 16-bit alpha, 0 where the value matches.
    WriteRawPng(Path("grey.png"), 2, 16, PNG_COLOR_TYPE_GRAY, {{0x12, 0x34, 0xAB, 0xCD}}, false,
                [](png_structp png, png_infop info) {
                    png_color_16 transparent{};
                    transparent.gray = 0x1234;
                    png_set_tRNS(png, info, nullptr, 0, &transparent);
                });
    const Picture grey = ReadPicture(Path("grey.png"));
    EXPECT_EQ(grey.bitDepth, 16);
    EXPECT_TRUE(grey.hasAlpha);
    EXPECT_EQ(grey.pixels16,
              (PixelWords{0x1234, 0x1234, 0x1234, 0, 0xABCD, 0xABCD, 0xABCD, 0xFFFF}));

    WriteRawPng(Path("greyalpha.png"), 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA,
                {{0x01, 0x02, 0x80, 0x00}});
    EXPECT_EQ(ReadPicture(Path("greyalpha.png")).pixels16,
              (PixelWords{0x0102, 0x0102, 0x0102, 0x8000}));
}

TEST_F(PngTest, ExpandsGreyPaletteAndTransparencyToRgba) {
    WriteRawPng(Path("grey.png"), 3, 8, PNG_COLOR_TYPE_GRAY, {{7, 200, 7}}, false,
                [](png_structp png, png_infop info) {
                    png_color_16 transparent{};
                    transparent.gray = 7;
                    png_set_tRNS(png, info, nullptr, 0, &transparent);
                });
    EXPECT_EQ(ReadPicture(Path("grey.png")).pixels,
              (media::PixelBytes{7, 7, 7, 0, 200, 200, 200, 255, 7, 7, 7, 0}));

    // Two bits per pixel: indices 0, 1, 2, 3 packed in one byte.
    WriteRawPng(Path("palette.png"), 4, 2, PNG_COLOR_TYPE_PALETTE, {{0x1B}}, false,
                [](png_structp png, png_infop info) {
                    png_color palette[4] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}};
                    png_byte alpha[2] = {0, 128};
                    png_set_PLTE(png, info, palette, 4);
                    png_set_tRNS(png, info, alpha, 2, nullptr);
                });
    const Picture palette = ReadPicture(Path("palette.png"));
    EXPECT_TRUE(palette.hasAlpha);
    EXPECT_EQ(palette.bitDepth, 8);
    EXPECT_EQ(palette.pixels, (media::PixelBytes{10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255,
                                                    1, 2, 3, 255}));

    // One bit per pixel and interlaced: 9 pixels per row reach past the first byte.
    WriteRawPng(Path("bits.png"), 9, 1, PNG_COLOR_TYPE_GRAY,
                {{0xA5, 0x80}, {0x00, 0x00}, {0xFF, 0x80}}, true);
    const Picture bits = ReadPicture(Path("bits.png"));
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

// libpng's own reduction of a 16-bit file to 8 bits (png_set_scale_16), which is what the
// tool did before pictures kept their 16 bits.
std::vector<uint8_t> ReadScaledByLibpng(const std::string& path) {
    FILE* file = fopen(path.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_scale_16(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    std::vector<uint8_t> pixels(rowBytes * height);
    std::vector<png_bytep> rows;
    for (png_uint_32 y = 0; y < height; ++y) rows.push_back(pixels.data() + y * rowBytes);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(file);
    return pixels;
}

TEST_F(PngTest, EightBitConversionRoundsAsLibpngDoesForEveryValue) {
    // Every 16-bit value once, as an RGB picture of 128 x 256 pixels whose samples count up.
    Picture picture;
    picture.width = 128;
    picture.height = 256;
    picture.bitDepth = 16;
    picture.pixels16.resize(picture.Stride() * picture.height);
    for (std::size_t i = 0; i < picture.pixels16.size(); ++i)
        picture.pixels16[i] = static_cast<uint16_t>(i * 3 % 65536 + i * 3 / 65536);
    WritePictureFile(Path("every.png"), picture);
    const std::vector<uint8_t> expected = ReadScaledByLibpng(Path("every.png"));

    const Picture eight = ToEightBits(picture);
    EXPECT_EQ(eight.bitDepth, 8);
    EXPECT_TRUE(eight.pixels16.empty());
    EXPECT_TRUE(std::equal(eight.pixels.begin(), eight.pixels.end(), expected.begin(),
                           expected.end()));
    EXPECT_EQ(EightBitSample(32767), 127);   // 127.498...
    EXPECT_EQ(EightBitSample(32768), 128);   // 127.501...
    EXPECT_EQ(EightBitSample(0x01FF), 2);    // 1.988...: scaled, not the high byte
    EXPECT_EQ(EightBitSample(65535), 255);

    // Every writer asked for 8 bits writes what the conversion gives.
    for (const char* name : {"eight.png", "eight.ppm", "eight.pam"}) {
        SCOPED_TRACE(name);
        WritePictureFile(Path(name), picture, WriteDepth::EightBits);
        EXPECT_TRUE(SamePicture(ReadPicture(Path(name)), eight));
    }
    // An 8-bit picture is what it is, at either depth.
    const Picture small = MakePicture(5, 4, true, 3);
    EXPECT_TRUE(SamePicture(ToEightBits(small), small));
    WritePictureFile(Path("small.png"), small, WriteDepth::EightBits);
    EXPECT_TRUE(SamePicture(ReadPicture(Path("small.png")), small));
}

// What ffmpeg, a decoder independent of libpng, makes of the PNGs this library writes.
TEST_F(PngTest, FfmpegDecodesWrittenFilesToTheSamePixels) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not found";
    for (const int depth : {8, 16}) {
        for (const bool alpha : {false, true}) {
            for (const auto& [width, height] : {std::pair{1, 1}, {31, 17}, {640, 3}}) {
                const std::string format = std::string(alpha ? "rgba" : "rgb") +
                                           (depth == 8 ? (alpha ? "" : "24") : "") +
                                           (depth == 16 ? (alpha ? "64le" : "48le") : "");
                SCOPED_TRACE(format + " " + std::to_string(width) + "x" + std::to_string(height));
                const Picture picture = PatternPicture(width, height, alpha, depth, 7);
                WritePictureFile(Path("in.png"), picture);
                const std::string command = "ffmpeg -loglevel error -y -i '" + Path("in.png") +
                                            "' -f rawvideo -pix_fmt " + format + " '" +
                                            Path("out.raw") + "'";
                ASSERT_EQ(std::system(command.c_str()), 0);
                std::string expected;
                for (std::size_t i = 0; i < picture.Stride() * height; ++i) {
                    if (depth == 8) {
                        expected += static_cast<char>(picture.pixels[i]);
                    } else {  // little-endian, as the format's "le" says
                        expected += static_cast<char>(picture.pixels16[i] & 0xFF);
                        expected += static_cast<char>(picture.pixels16[i] >> 8);
                    }
                }
                EXPECT_EQ(ReadFile(Path("out.raw")), expected);
            }
        }
    }
}

// A signature and an IHDR chunk with a valid CRC claiming the given size; nothing else.
std::string ForgedHeader(uint32_t width, uint32_t height) {
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
    const std::string file = Path("bad.png");
    WritePictureFile(file, MakePicture(64, 64, false, 1));
    const std::string valid = ReadFile(file);

    WriteFile(file, valid.substr(0, valid.size() / 2));
    ExpectMediaError([&] { ReadPicture(file); }, {file + ": the PNG data is truncated"});

    std::string damaged = valid;
    damaged[valid.find("IDAT") + 20] ^= 0x55;
    WriteFile(file, damaged);
    ExpectMediaError([&] { ReadPicture(file); }, {file + ": corrupt PNG ("});

    WriteFile(file, "P6\n1 1\n255\nabc");
    ExpectMediaError([&] { ReadPicture(file); }, {file + ": not a PNG file"});

    // The claimed size is refused before anything is read or reserved for the pixels.
    for (const auto& [width, height] : {std::pair{100000u, 100000u}, std::pair{16384u, 16384u}}) {
        WriteFile(file, ForgedHeader(width, height));
        ExpectMediaError([&] { ReadPicture(file); },
                         {file + ": picture size", "exceeds the maximum"});
    }

    ExpectMediaError([&] { ReadPicture(Path("missing.png")); },
                     {"missing.png: cannot open for reading"});
}

TEST(PngWriterTest, ReportsTheSystemReasonForAFailedWrite) {
    FILE* full = fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    for (const int depth : {8, 16}) {
        ExpectMediaError(
            [&] { WritePng(full, "out.png", PatternPicture(300, 300, true, depth, 2)); },
            {"out.png: write error: No space left on device"});
        clearerr(full);
    }
    fclose(full);
}

TEST(PictureTest, InconsistentPicturesAreTheCallersBug) {
    Picture picture = PatternPicture(4, 3, false, 16, 1);
    EXPECT_NO_THROW(CheckPictureConsistent(picture));
    picture.pixels.resize(1);  // both vectors in use
    EXPECT_THROW(CheckPictureConsistent(picture), std::invalid_argument);
    picture = PatternPicture(4, 3, false, 8, 1);
    picture.bitDepth = 16;  // the samples are in the other vector
    EXPECT_THROW(CheckPictureConsistent(picture), std::invalid_argument);
    picture.bitDepth = 12;
    EXPECT_THROW(CheckPictureConsistent(picture), std::invalid_argument);
    EXPECT_THROW(WritePng(stdout, "x", picture), std::invalid_argument);
}

}  // namespace
