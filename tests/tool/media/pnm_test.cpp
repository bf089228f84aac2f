#include "formats.h"
#include "media_test_support.h"
#include "picture_file.h"
#include "pnm_io.h"

using namespace media;

namespace {

using PnmTest = MediaTest;

TEST_F(PnmTest, RoundTripsPpmAndPamAtBothDepthsThroughTheExtension) {
    for (const int depth : {8, 16}) {
        for (const auto& [name, alpha] :
             {std::pair{"a.ppm", false}, {"b.pam", false}, {"c.PAM", true}}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(depth));
            // Wide enough that a 16-bit PPM is written in several slices.
            const Picture picture = PatternPicture(7000, 3, alpha, depth, 9);
            WritePictureFile(Path(name), picture);
            EXPECT_TRUE(SamePicture(ReadPicture(Path(name)), picture));
        }
    }
}

TEST_F(PnmTest, SixteenBitSamplesAreBigEndianInTheFile) {
    WriteFile(Path("deep.ppm"),
              std::string("P6\n2 1\n65535\n\x01\x02\xff\xfe\x00\x80\x80\x00\x00\x00\xff\xff", 25));
    const Picture ppm = ReadPicture(Path("deep.ppm"));
    EXPECT_EQ(ppm.bitDepth, 16);
    EXPECT_TRUE(ppm.pixels.empty());
    EXPECT_EQ(ppm.pixels16, (PixelWords{0x0102, 0xFFFE, 0x0080, 0x8000, 0x0000, 0xFFFF}));

    // And written so: the header says 65535, or 255 for a picture written at 8 bits.
    WritePictureFile(Path("out.pam"), ppm);
    EXPECT_EQ(ReadFile(Path("out.pam")),
              "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 65535\nTUPLTYPE RGB\nENDHDR\n" +
                  ReadFile(Path("deep.ppm")).substr(13));
    WritePictureFile(Path("out.ppm"), ppm, WriteDepth::EightBits);
    EXPECT_EQ(ReadFile(Path("out.ppm")), std::string("P6\n2 1\n255\n\x01\xff\x00\x80\x00\xff", 17));
}

TEST_F(PnmTest, ReadsHandWrittenHeadersWithComments) {
    // The pixel data starts with whitespace bytes, which must not be taken for header.
    WriteFile(Path("a.ppm"),
              std::string("P6\n# made by hand\n2 # width\n  1\n255\n") + "\n \t\r\x0b\x0c");
    const Picture ppm = ReadPicture(Path("a.ppm"));
    EXPECT_EQ(ppm.width, 2);
    EXPECT_EQ(ppm.height, 1);
    EXPECT_EQ(ppm.pixels, (media::PixelBytes{'\n', ' ', '\t', '\r', 0x0b, 0x0c}));

    WriteFile(Path("b.pam"),
              "P7\n# comment\nWIDTH 1\nHEIGHT 2\n\nDEPTH 4\nMAXVAL 255\n"
              "TUPLTYPE RGB_ALPHA\nENDHDR\nABCDEFGH");
    const Picture pam = ReadPicture(Path("b.pam"));
    EXPECT_TRUE(pam.hasAlpha);
    EXPECT_EQ(pam.height, 2);
    EXPECT_EQ(std::string(pam.pixels.begin(), pam.pixels.end()), "ABCDEFGH");
}

TEST_F(PnmTest, RefusesWhatItCannotHoldOrRead) {
    const std::string file = Path("bad.ppm");
    const std::string pam = "P7\nWIDTH 2\nHEIGHT 2\nMAXVAL 255\n";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"P6\n2 2\n1023\n", "maxval 1023 is not supported (only 255 for 8 bits and 65535 for 16"},
        {"P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 256\nTUPLTYPE RGB\nENDHDR\n",
         "maxval 256 is not supported"},
        {"P6\n2 2\n65535\n" + std::string(23, 'x'),
         "pixel data is truncated (expected 24 bytes, got 23)"},
        {"P5\n2 2\n255\n",
         "Netpbm type P5 is not supported (supported: P6 PPM and P7 PAM, 8 or 16 bits"},
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
        WriteFile(file, bytes);
        ExpectMediaError([&] { ReadPicture(file); }, {file + ": ", message});
    }

    Picture rgba;
    rgba.width = rgba.height = 1;
    rgba.hasAlpha = true;
    rgba.pixels = {1, 2, 3, 4};
    ExpectMediaError([&] { WritePictureFile(Path("out.ppm"), rgba); },
                     {"out.ppm: PPM cannot hold an alpha channel; write .png or .pam"});
}

TEST(PnmWriterTest, ReportsTheSystemReasonForAFailedWrite) {
    FILE* full = fopen("/dev/full", "wb");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    // A small file fits in stdio's buffer, so a full disk shows only at the flush.
    for (const int depth : {8, 16}) {
        ExpectMediaError([&] { WritePam(full, "/dev/full", PatternPicture(1, 1, true, depth, 1)); },
                         {"/dev/full: write error: No space left on device"});
        clearerr(full);
    }
    fclose(full);
}

TEST(MediaFormatTest, ChoosesByExtensionIgnoringCase) {
    EXPECT_STREQ(MediaFormatOf("-").name, "YUV4MPEG2");
    EXPECT_STREQ(MediaFormatOf("clip.Y4M").name, "YUV4MPEG2");
    EXPECT_STREQ(MediaFormatOf("dir/still.PnG").name, "PNG");
    EXPECT_STREQ(MediaFormatOf("a.b.ppm").name, "PPM");
    EXPECT_STREQ(MediaFormatOf("x.pam").name, "PAM");
    for (const std::string path : {"clip.avi", "png", "dir.png/file", "x.png.bak"}) {
        ExpectMediaError(
            [&] { MediaFormatOf(path); },
            {path + ": unsupported file type (supported: .y4m or - for video; .png, .ppm, .pam"});
    }
    ExpectMediaError([] { ReadPicture("clip.y4m"); }, {"clip.y4m: is video, not a picture"});
}

}  // namespace
