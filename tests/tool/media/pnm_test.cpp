#include "media_format.h"
#include "media_test_support.h"
#include "pnm_io.h"

using namespace media;

namespace {

using PnmTest = MediaTest;

TEST_F(PnmTest, RoundTripsPpmAndPamThroughTheExtension) {
    for (const auto& [name, alpha] :
         {std::pair{"a.ppm", false}, {"b.pam", false}, {"c.PAM", true}}) {
        SCOPED_TRACE(name);
        RgbImage image;
        image.width = 5;
        image.height = 3;
        image.hasAlpha = alpha;
        image.pixels = patternBytes(image.stride() * 3, 9);
        writeImage(path(name), image);
        const RgbImage back = readImage(path(name));
        EXPECT_EQ(back.width, 5);
        EXPECT_EQ(back.height, 3);
        EXPECT_EQ(back.hasAlpha, alpha);
        EXPECT_EQ(back.pixels, image.pixels);
    }
}

TEST_F(PnmTest, ReadsHandWrittenHeadersWithComments) {
    // The pixel data starts with whitespace bytes, which must not be taken for header.
    writeFile(path("a.ppm"),
              std::string("P6\n# made by hand\n2 # width\n  1\n255\n") + "\n \t\r\x0b\x0c");
    const RgbImage ppm = readPnm(path("a.ppm"));
    EXPECT_EQ(ppm.width, 2);
    EXPECT_EQ(ppm.height, 1);
    EXPECT_EQ(ppm.pixels, (std::vector<uint8_t>{'\n', ' ', '\t', '\r', 0x0b, 0x0c}));

    writeFile(path("b.pam"),
              "P7\n# comment\nWIDTH 1\nHEIGHT 2\n\nDEPTH 4\nMAXVAL 255\n"
              "TUPLTYPE RGB_ALPHA\nENDHDR\nABCDEFGH");
    const RgbImage pam = readPnm(path("b.pam"));
    EXPECT_TRUE(pam.hasAlpha);
    EXPECT_EQ(pam.height, 2);
    EXPECT_EQ(std::string(pam.pixels.begin(), pam.pixels.end()), "ABCDEFGH");
}

TEST_F(PnmTest, RefusesWhatItCannotHoldOrRead) {
    const std::string file = path("bad.ppm");
    const std::string pam = "P7\nWIDTH 2\nHEIGHT 2\nMAXVAL 255\n";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"P6\n2 2\n65535\n", "maxval 65535 is not supported (only 255"},
        {"P5\n2 2\n255\n", "Netpbm type P5 is not supported (supported: P6 PPM and P7 PAM"},
        {"P3\n2 2\n255\n", "type P3 is not supported"},
        {"GIF89a", "not a PPM or PAM file"},
        {"P62 2\n255\n", "P6 must be followed by whitespace"},
        {"P6\n2 2\n255\nabcdefghijk", "pixel data is truncated (expected 12 bytes, got 11)"},
        {"P6\n2 2", "malformed header (the file ends in the height)"},
        {"P6\n2 x2\n255\n", "height 'x2' is not a number"},
        {"P6\n100000 100000\n255\n", "picture size 100000x100000 exceeds the maximum"},
        {pam + "DEPTH 1\nTUPLTYPE GRAYSCALE\nENDHDR\n",
         "TUPLTYPE 'GRAYSCALE' with DEPTH 1 is not supported"},
        {pam + "DEPTH 4\nTUPLTYPE RGB\nENDHDR\n", "TUPLTYPE 'RGB' with DEPTH 4 is not supported"},
        {pam + "DEPTH 3\nTUPLTYPE RGB\n", "the file ends before ENDHDR"},
        {pam + "DEPTH 3\nCOLOUR 3\nENDHDR\n", "unknown PAM header line 'COLOUR 3'"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        writeFile(file, bytes);
        expectMediaError([&] { readPnm(file); }, {file + ": ", message});
    }

    RgbImage rgba;
    rgba.width = rgba.height = 1;
    rgba.hasAlpha = true;
    rgba.pixels = {1, 2, 3, 4};
    expectMediaError([&] { writePpm(path("out.ppm"), rgba); },
                     {"out.ppm: PPM cannot hold an alpha channel; write .png or .pam"});

    // A small file fits in stdio's buffer, so a full disk shows only when it is closed.
    if (FILE* full = fopen("/dev/full", "wb")) {
        fclose(full);
        expectMediaError([&] { writePam("/dev/full", rgba); },
                         {"write error: No space left on device"});
    }
}

TEST(MediaFormatTest, ChoosesByExtensionIgnoringCase) {
    EXPECT_EQ(mediaFormatOf("-"), MediaFormat::Y4m);
    EXPECT_EQ(mediaFormatOf("clip.Y4M"), MediaFormat::Y4m);
    EXPECT_EQ(mediaFormatOf("dir/still.PnG"), MediaFormat::Png);
    EXPECT_EQ(mediaFormatOf("a.b.ppm"), MediaFormat::Ppm);
    EXPECT_EQ(mediaFormatOf("x.pam"), MediaFormat::Pam);
    for (const std::string path : {"clip.avi", "png", "dir.png/file", "x.png.bak"}) {
        expectMediaError(
            [&] { mediaFormatOf(path); },
            {path + ": unsupported file type (supported: .y4m or - for video; .png, .ppm, .pam"});
    }
    expectMediaError([] { readImage("clip.y4m"); }, {"clip.y4m: is video, not an image"});
}

}  // namespace
