#include "png_plain_reader.h"

#include <random>

#include "file_io.h"
#include "formats.h"
#include "media_test_support.h"
#include "picture_file.h"
#include "png_io.h"
#include "png_test_files.h"

using namespace media;

namespace {

using PngPlainReaderTest = MediaTest;

// A picture's samples as bytes in memory, as libpng gives them.
std::vector<uint8_t> SampleBytes(const Picture& picture) {
    if (picture.bitDepth == 8) return {picture.pixels.begin(), picture.pixels.end()};
    const auto* bytes = reinterpret_cast<const uint8_t*>(picture.pixels16.data());
    return {bytes, bytes + 2 * picture.pixels16.size()};
}

// Whether the fast path decodes the file, as ReadPng calls it. When it does not, it must hand
// back exactly the bytes it took from the file (their count in *taken).
bool DecodedByFastPath(const std::string& path, Picture& picture, std::size_t* taken = nullptr) {
    FilePtr file = OpenInputFile(path);
    PixelBytes bytesRead(24);
    bytesRead.resize(std::fread(bytesRead.data(), 1, bytesRead.size(), file.get()));
    const bool decoded = ReadPlainPng(file.get(), bytesRead, picture);
    if (!decoded) {
        EXPECT_EQ(std::string(bytesRead.begin(), bytesRead.end()),
                  ReadFile(path).substr(0, bytesRead.size()));
    }
    if (taken) *taken = bytesRead.size();
    return decoded;
}

// ReadPicture gives what libpng gives: the same samples, or libpng's error in the reader's
// words.
void ExpectLibpngsResult(const std::string& path) {
    const LibpngDecoding expected = DecodeWithLibpng(path);
    if (expected.error.empty()) {
        EXPECT_EQ(SampleBytes(ReadPicture(path)), expected.bytes);
    } else {
        ExpectMediaError([&] { ReadPicture(path); },
                         {path + ": corrupt PNG (" + expected.error + ")"});
    }
}

// Rows of random bytes, every third of them only a few values apart, where Paeth's
// distances tie.
std::vector<std::vector<uint8_t>> RandomRows(std::size_t rowBytes, int height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(rowBytes));
    for (int y = 0; y < height; ++y) {
        std::uniform_int_distribution<int> byte(y % 3 == 2 ? 120 : 0, y % 3 == 2 ? 123 : 255);
        for (uint8_t& value : rows[y]) value = static_cast<uint8_t>(byte(random));
    }
    return rows;
}

TEST_F(PngPlainReaderTest, DecodesFilesWrittenWithEachFilterAsLibpngDoes) {
    const std::string path = Path("plain.png");
    for (const int depth : {8, 16}) {
        for (const bool alpha : {false, true}) {
            for (const int filter : {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                     PNG_FILTER_PAETH}) {
                for (const auto& [width, height] : {std::pair{1, 3}, {2, 2}, {3, 5}, {17, 4}}) {
                    SCOPED_TRACE(std::to_string(depth) + " bits, alpha " + std::to_string(alpha) +
                                 ", filter " + std::to_string(filter) + ", " +
                                 std::to_string(width) + "x" + std::to_string(height));
                    const std::size_t rowBytes = width * (alpha ? 4 : 3) * depth / 8;
                    WriteRawPng(
                        path, width, depth, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                        RandomRows(rowBytes, height, width + filter), false,
                        [&](png_structp png, png_infop) { png_set_filter(png, 0, filter); });
                    Picture picture;
                    ASSERT_TRUE(DecodedByFastPath(path, picture));
                    EXPECT_EQ(picture.width, width);
                    EXPECT_EQ(picture.height, height);
                    EXPECT_EQ(picture.bitDepth, depth);
                    EXPECT_EQ(picture.hasAlpha, alpha);
                    EXPECT_EQ(SampleBytes(picture), DecodeWithLibpng(path).bytes);
                }
            }
        }
    }

    // The zlib stream spread over IDAT chunks of 16 bytes, a suggested palette and text
    // before it: all of it still plain.
    WriteRawPng(path, 17, 8, PNG_COLOR_TYPE_RGB, RandomRows(51, 9, 1), false,
                [](png_structp png, png_infop info) {
                    png_set_compression_buffer_size(png, 16);
                    png_color palette[2] = {{1, 2, 3}, {4, 5, 6}};
                    png_set_PLTE(png, info, palette, 2);
                    png_text text{};
                    text.compression = PNG_TEXT_COMPRESSION_NONE;
                    text.key = const_cast<char*>("Comment");
                    text.text = const_cast<char*>("plain");
                    png_set_text(png, info, &text, 1);
                });
    Picture picture;
    ASSERT_TRUE(DecodedByFastPath(path, picture));
    EXPECT_EQ(SampleBytes(picture), DecodeWithLibpng(path).bytes);
}

// Files of other kinds go to libpng whole: the fast path hands back exactly the bytes it read
// (up to IHDR's end for an interlaced file, to tRNS's header for a transparent colour).
TEST_F(PngPlainReaderTest, LeavesOtherKindsToLibpngWithTheBytesItRead) {
    const std::string path = Path("other.png");
    WriteRawPng(path, 5, 16, PNG_COLOR_TYPE_RGB, RandomRows(30, 5, 2), true);
    Picture picture;
    std::size_t taken = 0;
    EXPECT_FALSE(DecodedByFastPath(path, picture, &taken));
    EXPECT_EQ(taken, 33u);
    ExpectLibpngsResult(path);
    WriteRawPng(path, 2, 8, PNG_COLOR_TYPE_RGB, {{1, 2, 3, 4, 5, 6}}, false,
                [](png_structp png, png_infop info) {
                    png_color_16 transparent{};
                    transparent.red = 4;
                    png_set_tRNS(png, info, nullptr, 0, &transparent);
                });
    EXPECT_FALSE(DecodedByFastPath(path, picture, &taken));
    EXPECT_EQ(taken, 41u);
    ExpectLibpngsResult(path);
}

// Damage of every kind the fast path checks for, in a file of this library's: whatever
// libpng says of the file, the reader says too.
TEST_F(PngPlainReaderTest, DamagedFilesGetLibpngsVerdict) {
    const std::string path = Path("damaged.png");
    WritePictureFile(path, PatternPicture(40, 30, false, 8, 4));
    const std::string valid = ReadFile(path);
    const std::vector<PngChunk> chunks = SplitPng(valid);
    ASSERT_EQ(chunks.size(), 3u);  // IHDR, IDAT, IEND
    const std::string& stream = chunks[1].data;
    std::vector<uint8_t> rows(30 * (40 * 3 + 1));
    uLongf rowsSize = rows.size();
    ASSERT_EQ(uncompress(rows.data(), &rowsSize, reinterpret_cast<const Bytef*>(stream.data()),
                         stream.size()),
              Z_OK);
    const auto deflated = [](std::vector<uint8_t> bytes) {
        std::vector<uint8_t> out(compressBound(bytes.size()));
        uLongf size = out.size();
        compress(out.data(), &size, bytes.data(), bytes.size());
        return std::string(reinterpret_cast<const char*>(out.data()), size);
    };
    const auto withStream = [&](const std::string& data) {
        std::vector<PngChunk> changed = chunks;
        changed[1].data = data;
        return JoinPng(changed);
    };
    const auto withChunksBeforeIdat = [&](std::vector<PngChunk> extra) {
        std::vector<PngChunk> changed = chunks;
        changed.insert(changed.begin() + 1, extra.begin(), extra.end());
        return JoinPng(changed);
    };

    std::vector<std::pair<std::string, std::string>> files;
    std::string badCrc = valid;
    badCrc[valid.size() - 13] ^= 0x01;  // the last byte of IDAT's CRC, before IEND's 12 bytes
    files.emplace_back("an IDAT CRC", badCrc);
    std::string badChecksum = stream;
    badChecksum.back() ^= 0x01;
    files.emplace_back("the Adler-32 checksum", withStream(badChecksum));
    files.emplace_back("bytes after the stream", withStream(stream + std::string(2, '\x01')));
    std::string largeWindow = stream;
    largeWindow[0] = static_cast<char>(0x88);
    largeWindow[1] = static_cast<char>(31 - (0x88 << 8) % 31);
    files.emplace_back("a window over 32 KiB", withStream(largeWindow));
    // A window of 256 bytes declared, rows repeating 4 rows (484 bytes) back.
    std::vector<uint8_t> repeating = rows;
    for (std::size_t i = 4 * (40 * 3 + 1); i < repeating.size(); ++i)
        repeating[i] = repeating[i - 4 * (40 * 3 + 1)];
    std::string smallWindow = deflated(repeating);
    smallWindow[0] = 0x08;
    smallWindow[1] = static_cast<char>(31 - (0x08 << 8) % 31);
    files.emplace_back("distances beyond the window", withStream(smallWindow));
    std::vector<uint8_t> badFilter = rows;
    badFilter[5 * (40 * 3 + 1)] = 5;
    files.emplace_back("a filter type of 5", withStream(deflated(badFilter)));
    files.emplace_back("a byte short",
                       withStream(deflated(std::vector<uint8_t>(rows.begin(), rows.end() - 1))));
    files.emplace_back("an unknown critical chunk", withChunksBeforeIdat({{"ABCD", "x"}}));
    files.emplace_back("a chunk type with a digit", withChunksBeforeIdat({{"tE1t", "x"}}));
    files.emplace_back("two palettes", withChunksBeforeIdat({{"PLTE", "abc"}, {"PLTE", "abc"}}));
    files.emplace_back("an empty palette", withChunksBeforeIdat({{"PLTE", ""}}));
    std::string badTextCrc = withChunksBeforeIdat({{"tEXt", std::string("a\0b", 3)}});
    badTextCrc[badTextCrc.find("IDAT") - 5] ^= 0x01;  // the tEXt chunk's CRC, before IDAT's length
    files.emplace_back("an ancillary chunk's CRC", badTextCrc);
    std::vector<PngChunk> apart = chunks;
    apart[1].data = stream.substr(0, 100);
    apart.insert(apart.begin() + 2,
                 {{"tEXt", std::string("a\0b", 3)}, {"IDAT", stream.substr(100)}});
    files.emplace_back("IDAT chunks apart", JoinPng(apart));

    for (const auto& [what, bytes] : files) {
        SCOPED_TRACE(what);
        WriteFile(path, bytes);
        ExpectLibpngsResult(path);
    }

    WriteFile(path, valid.substr(0, valid.size() - 12));  // all but IEND
    ExpectMediaError([&] { ReadPicture(path); }, {path + ": the PNG data is truncated"});
}

// From a pipe, where the size of what is left cannot be known: the buffer grows as the data
// come, and a file left to libpng is read from memory first, then from the pipe.
TEST_F(PngPlainReaderTest, ReadsFromAPipe) {
    const std::string path = Path("piped.png");
    for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        WriteRawPng(path, 300, 8, PNG_COLOR_TYPE_RGB, RandomRows(900, 200, 5), interlaced);
        FILE* pipe = popen(("cat '" + path + "'").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        const Picture picture = ReadPng(pipe, "piped");
        pclose(pipe);
        EXPECT_EQ(SampleBytes(picture), DecodeWithLibpng(path).bytes);
    }
}

}  // namespace
