#include "huffman_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using media::HuffmanDeflate;

namespace {

// Compresses data in pieces of the given sizes (the rest in a last piece) and returns the
// whole stream.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, const std::vector<std::size_t>& pieces) {
    HuffmanDeflate deflate;
    std::vector<uint8_t> stream;
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        const HuffmanDeflate::Bytes bytes = deflate.Compress(data.data() + at, piece, false);
        stream.insert(stream.end(), bytes.data, bytes.data + bytes.size);
        at += piece;
    }
    const HuffmanDeflate::Bytes bytes = deflate.Compress(data.data() + at, data.size() - at, true);
    stream.insert(stream.end(), bytes.data, bytes.data + bytes.size);
    return stream;
}

// zlib's inflate of the whole stream, which checks the codes, the end and the checksum; fails
// the test if the stream is not exactly one complete zlib stream.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, std::size_t expected) {
    std::vector<uint8_t> out(expected + 1);
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << (z.msg != nullptr ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the stream";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

std::vector<uint8_t> RandomBytes(std::size_t size, unsigned seed, int spread) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % static_cast<unsigned>(spread));
    return bytes;
}

// Runs of every length from 1 to 600 and a few past the longest match, of changing values,
// with single bytes between them.
std::vector<uint8_t> RunsOfEveryLength() {
    std::vector<uint8_t> bytes;
    for (std::size_t length = 1; length <= 600; ++length) {
        bytes.insert(bytes.end(), length, static_cast<uint8_t>(length * 7));
        bytes.push_back(static_cast<uint8_t>(length));
    }
    for (std::size_t length : {257u, 258u, 259u, 260u, 261u, 516u, 517u, 518u, 519u, 775u})
        bytes.insert(bytes.end(), length, static_cast<uint8_t>(length));
    return bytes;
}

// Byte frequencies that grow like the Fibonacci numbers: their optimal code is 24 bits deep,
// past deflate's limit of 15.
std::vector<uint8_t> SkewedBytes() {
    std::vector<uint8_t> bytes;
    std::size_t previous = 1;
    std::size_t count = 1;
    for (int value = 0; value < 25; ++value) {
        for (std::size_t k = 0; k < count; ++k) {
            bytes.push_back(static_cast<uint8_t>(value));
            bytes.push_back(static_cast<uint8_t>(255 - k % 3));  // breaks runs up
        }
        const std::size_t next = previous + count;
        previous = count;
        count = next;
    }
    std::shuffle(bytes.begin(), bytes.end(), std::mt19937(5));
    return bytes;
}

TEST(HuffmanDeflateTest, InflatesToTheSameBytesWhateverTheContentAndHoweverItIsCut) {
    std::vector<uint8_t> blockSpanningRun(300000, 0);
    blockSpanningRun[0] = 9;
    blockSpanningRun.back() = 9;
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> contents = {
        {"one byte", {42}},
        {"three equal bytes", {7, 7, 7}},
        {"four equal bytes", {7, 7, 7, 7}},
        {"every byte value, evenly", RandomBytes(700000, 1, 256)},
        {"small differences, as filtered grain", RandomBytes(400000, 2, 6)},
        {"runs of every length", RunsOfEveryLength()},
        {"a run over block borders", blockSpanningRun},
        {"frequencies too skewed for the longest codes allowed", SkewedBytes()},
    };
    const std::vector<std::vector<std::size_t>> cuts = {
        {},                         // all in the last call
        {0, 1, 0, 2, 3, 4},         // tiny and empty pieces first
        {262143, 262145, 1, 4095},  // around the block size
    };
    for (const auto& [label, data] : contents) {
        for (const auto& cut : cuts) {
            std::vector<std::size_t> pieces;
            std::size_t total = 0;
            for (std::size_t piece : cut) {
                if (total + piece > data.size()) break;
                pieces.push_back(piece);
                total += piece;
            }
            EXPECT_EQ(Inflate(Compress(data, pieces), data.size()), data)
                << label << ", cut into " << pieces.size() << " pieces first";
        }
    }
}

TEST(HuffmanDeflateTest, AnEmptyStreamIsAValidOne) {
    EXPECT_TRUE(Inflate(Compress({}, {}), 0).empty());
    EXPECT_TRUE(Inflate(Compress({}, {0, 0}), 0).empty());
}

TEST(HuffmanDeflateTest, RunsShrinkToAlmostNothingAndNoiseGrowsLittle) {
    std::vector<uint8_t> flat(1 << 20, 0);
    flat[1000] = 1;
    EXPECT_LT(Compress(flat, {}).size(), flat.size() / 200);
    // Evenly spread bytes cannot be compressed; codes of 8 bits and a header per block.
    const std::vector<uint8_t> noise = RandomBytes(1 << 20, 3, 256);
    EXPECT_LT(Compress(noise, {}).size(), noise.size() + noise.size() / 200);
    // Six values need under 3 bits each.
    const std::vector<uint8_t> grain = RandomBytes(1 << 20, 4, 6);
    EXPECT_LT(Compress(grain, {}).size(), grain.size() * 3 / 8);
}

}  // namespace
