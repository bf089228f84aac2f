#include "huffman_deflate.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace media {

namespace {

// Input bytes per block. Each block carries its own codes (a header of about 100 bytes), so
// a picture whose content changes from top to bottom is coded for what each part holds.
// Blocks of 32 and 64 KiB made no smaller files on grain or flat graphics and took longer.
constexpr std::size_t kBlockBytes = 256 * 1024;

constexpr int kLiteralLengthSymbols = 286;  // 256 bytes, end of block, 29 lengths
constexpr int kEndOfBlock = 256;
constexpr int kCodeLengthSymbols = 19;
constexpr int kMaxCodeBits = 15;
// Literal and length codes are kept a bit shorter than deflate allows, so that four literals
// (and the 7 bits a flush may leave) fit one 64-bit word; it costs rare symbols a bit.
constexpr int kMaxLiteralBits = 14;
constexpr int kMaxCodeLengthBits = 7;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 258;
// A run is a byte and at least kMinMatch copies of it: the byte is a literal, the copies
// one match at distance 1.
constexpr std::size_t kMinRun = kMinMatch + 1;

// The order in which the code-length code's lengths are sent.
constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Match lengths 3 to 258 as deflate codes them: symbol, extra bits and their value.
struct LengthCode {
    uint16_t symbol;
    uint8_t extraBits;
    uint8_t extra;
};

struct LengthCodes {
    std::array<LengthCode, kMaxMatch + 1> of{};
    LengthCodes() {
        constexpr uint16_t kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        constexpr uint8_t kBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int code = 0; code < 29; ++code) {
            const std::size_t last = code == 28 ? kMaxMatch : kBase[code] + (1u << kBits[code]) - 1;
            for (std::size_t length = kBase[code]; length <= last && length <= kMaxMatch; ++length) {
                of[length] = {static_cast<uint16_t>(257 + code), kBits[code],
                              static_cast<uint8_t>(length - kBase[code])};
            }
        }
    }
};

const LengthCodes& Lengths() {
    static const LengthCodes codes;
    return codes;
}

// The length of the next match in a run that still has `left` copies to cover: as long as
// allowed, but never leaving 1 or 2 copies, which no match could take.
inline std::size_t NextMatch(std::size_t left) {
    if (left <= kMaxMatch) return left;
    return left - kMaxMatch < kMinMatch ? left - kMinMatch : kMaxMatch;
}

// Huffman code lengths for the frequencies, none longer than `limit`. Unused symbols get 0.
// If the optimal code is too deep, the frequencies are halved (keeping every used symbol) and
// the code is built again: rare, and costs a fraction of a percent at most.
void BuildCodeLengths(const uint32_t* frequencies, int count, int limit, uint8_t* lengths) {
    std::array<uint32_t, kLiteralLengthSymbols> weight{};
    std::array<uint16_t, kLiteralLengthSymbols> symbols{};
    int used = 0;
    for (int s = 0; s < count; ++s) {
        lengths[s] = 0;
        weight[s] = frequencies[s];
        if (frequencies[s] != 0) symbols[used++] = static_cast<uint16_t>(s);
    }
    if (used == 0) return;
    if (used == 1) {  // a code needs two symbols to be complete: add a neighbour
        lengths[symbols[0]] = 1;
        lengths[symbols[0] == 0 ? 1 : 0] = 1;
        return;
    }
    // Two queues: leaves in order of weight, and the merged nodes, made in order of weight.
    std::array<uint32_t, 2 * kLiteralLengthSymbols> nodeWeight{};
    std::array<uint16_t, 2 * kLiteralLengthSymbols> parent{};
    std::array<uint8_t, 2 * kLiteralLengthSymbols> depth{};
    for (;;) {
        std::stable_sort(symbols.begin(), symbols.begin() + used,
                         [&](uint16_t a, uint16_t b) { return weight[a] < weight[b]; });
        for (int i = 0; i < used; ++i) nodeWeight[i] = weight[symbols[i]];
        int leaf = 0;
        int merged = used;  // next merged node to take
        const auto takeSmallest = [&](int made) {
            if (leaf < used && (merged >= made || nodeWeight[leaf] <= nodeWeight[merged])) return leaf++;
            return merged++;
        };
        for (int made = used; made < 2 * used - 1; ++made) {
            const int a = takeSmallest(made);
            const int b = takeSmallest(made);
            nodeWeight[made] = nodeWeight[a] + nodeWeight[b];
            parent[a] = parent[b] = static_cast<uint16_t>(made);
        }
        const int root = 2 * used - 2;
        depth[root] = 0;
        int deepest = 0;
        for (int node = root - 1; node >= 0; --node) {
            depth[node] = static_cast<uint8_t>(depth[parent[node]] + 1);
            deepest = std::max<int>(deepest, depth[node]);
        }
        if (deepest <= limit) {
            for (int i = 0; i < used; ++i) lengths[symbols[i]] = depth[i];
            return;
        }
        for (int i = 0; i < used; ++i) weight[symbols[i]] = (weight[symbols[i]] + 1) / 2;
    }
}

// Canonical codes for the lengths, bit-reversed because deflate sends codes from their top
// bit while the stream is packed from the bottom. Each entry: code in the low 16 bits,
// length above.
void BuildCodes(const uint8_t* lengths, int count, uint32_t* entries) {
    std::array<uint16_t, kMaxCodeBits + 2> perLength{};
    for (int s = 0; s < count; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    std::array<uint16_t, kMaxCodeBits + 2> next{};
    uint16_t code = 0;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        code = static_cast<uint16_t>((code + perLength[bits - 1]) << 1);
        next[bits] = code;
    }
    for (int s = 0; s < count; ++s) {
        const int bits = lengths[s];
        if (bits == 0) {
            entries[s] = 0;
            continue;
        }
        const uint16_t value = next[bits]++;
        uint32_t reversed = 0;
        for (int b = 0; b < bits; ++b) reversed |= ((value >> b) & 1u) << (bits - 1 - b);
        entries[s] = reversed | static_cast<uint32_t>(bits) << 16;
    }
}

// Packs bits from the bottom of a 64-bit word into the output, which has room to spare: the
// word is stored whole and the position moves on by the bytes completed.
class BitWriter {
public:
    BitWriter(uint8_t* out, uint64_t bits, unsigned count) : out_(out), bits_(bits), count_(count) {}

    // At most 57 bits between calls of Flush, which leaves at most 7 in the word.
    void Put(uint64_t value, unsigned bits) {
        bits_ |= value << count_;
        count_ += bits;
    }
    void Put(uint32_t entry) { Put(entry & 0xFFFFu, entry >> 16); }

    void Flush() {
        std::memcpy(out_, &bits_, sizeof bits_);
        out_ += count_ >> 3;
        bits_ = count_ >= 64 ? 0 : bits_ >> (count_ & ~7u);
        count_ &= 7u;
    }

    uint8_t* Out() const { return out_; }
    uint64_t Bits() const { return bits_; }
    unsigned Count() const { return count_; }

private:
    uint8_t* out_;
    uint64_t bits_;
    unsigned count_;
};

// Whether the four bytes from p on are equal.
inline bool RunStarts(const uint8_t* p) { return p[0] == p[1] && p[1] == p[2] && p[2] == p[3]; }

// The first position from i on where a run starts, or end - 3 if none does (or i is past it).
inline std::size_t FindRun(const uint8_t* data, std::size_t i, std::size_t end) {
    const std::size_t stop = end - (kMinRun - 1);
#if defined(__SSE2__)
    for (; i + 16 + (kMinRun - 1) <= end; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 2));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 3));
        const __m128i all =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(b, c)), _mm_cmpeq_epi8(c, d));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(all));
        if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    for (; i < stop; ++i)
        if (RunStarts(data + i)) return i;
    return stop;
}

// The first position from i on (or end) whose byte is not value.
inline std::size_t RunEnd(const uint8_t* data, std::size_t i, std::size_t end, uint8_t value) {
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    const auto same = [&](std::size_t at) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at)), wanted);
    };
    // Runs of flat content are long: 64 bytes a step while they last.
    for (; i + 64 <= end; i += 64) {
        const __m128i all = _mm_and_si128(_mm_and_si128(same(i), same(i + 16)),
                                          _mm_and_si128(same(i + 32), same(i + 48)));
        if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
    for (; i + 16 <= end; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const auto differ = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted))) ^ 0xFFFFu;
        if (differ != 0) return i + static_cast<std::size_t>(__builtin_ctz(differ));
    }
#endif
    while (i < end && data[i] == value) ++i;
    return i;
}

using Run = HuffmanDeflate::Run;

// The runs of the n bytes, in order.
void FindRuns(const uint8_t* bytes, std::size_t n, std::vector<Run>& runs) {
    runs.clear();
    if (n < kMinRun) return;
    const std::size_t stop = n - (kMinRun - 1);
    for (std::size_t i = FindRun(bytes, 0, n); i < stop; i = FindRun(bytes, i, n)) {
        const std::size_t j = RunEnd(bytes, i + kMinRun, n, bytes[i]);
        runs.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(j - i)});
        i = j;
    }
}

// Calls visit(length) for each match that covers a run's copies.
template <typename Visit>
void ForEachMatch(const Run& run, Visit&& visit) {
    for (std::size_t left = run.length - 1; left != 0;) {
        const std::size_t match = NextMatch(left);
        visit(match);
        left -= match;
    }
}

// How often each literal/length symbol occurs in the block: the literals between runs are
// counted in four tables, so that equal bytes in a row do not wait on each other; each run
// is its first byte and its matches.
void CountSymbols(const uint8_t* bytes, std::size_t n, const std::vector<Run>& runs,
                  std::array<uint32_t, kLiteralLengthSymbols>& frequencies) {
    const LengthCodes& lengthCodes = Lengths();
    std::array<std::array<uint32_t, 256>, 4> counts{};
    const auto countLiterals = [&](std::size_t from, std::size_t to) {
        for (; from + 4 <= to; from += 4) {
            ++counts[0][bytes[from]];
            ++counts[1][bytes[from + 1]];
            ++counts[2][bytes[from + 2]];
            ++counts[3][bytes[from + 3]];
        }
        for (; from < to; ++from) ++counts[0][bytes[from]];
    };
    frequencies.fill(0);
    std::size_t literalsFrom = 0;
    for (const Run& run : runs) {
        countLiterals(literalsFrom, run.start + 1);
        ForEachMatch(run, [&](std::size_t match) { ++frequencies[lengthCodes.of[match].symbol]; });
        literalsFrom = run.start + run.length;
    }
    countLiterals(literalsFrom, n);
    for (int b = 0; b < 256; ++b) frequencies[b] = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b];
    frequencies[kEndOfBlock] = 1;
}

// Distance codes 0 (distance 1, the only one used) and 1, one bit each, so that the distance
// code is complete.
constexpr int kDistanceCount = 2;

// The header of a block with dynamic codes: final flag, type 2, the three counts, the
// code-length code, then the code lengths of both codes in it, as one sequence run-length
// coded with symbols 16 (repeat the last length 3 to 6 times), 17 (3 to 10 zeros) and 18 (11
// to 138 zeros).
void WriteBlockHeader(BitWriter& writer, const std::array<uint8_t, kLiteralLengthSymbols>& lengths,
                      bool final) {
    int literalCount = kLiteralLengthSymbols;
    while (literalCount > 257 && lengths[literalCount - 1] == 0) --literalCount;
    std::array<uint8_t, kLiteralLengthSymbols + kDistanceCount> sequence{};
    std::copy(lengths.begin(), lengths.begin() + literalCount, sequence.begin());
    sequence[literalCount] = 1;
    sequence[literalCount + 1] = 1;
    const int sequenceSize = literalCount + kDistanceCount;
    std::array<uint8_t, kLiteralLengthSymbols + kDistanceCount> symbols{};
    std::array<uint8_t, kLiteralLengthSymbols + kDistanceCount> extras{};
    int coded = 0;
    std::array<uint32_t, kCodeLengthSymbols> lengthFrequencies{};
    const auto add = [&](int symbol, int extra) {
        symbols[coded] = static_cast<uint8_t>(symbol);
        extras[coded++] = static_cast<uint8_t>(extra);
        ++lengthFrequencies[symbol];
    };
    for (int s = 0; s < sequenceSize;) {
        const uint8_t value = sequence[s];
        int repeat = 1;
        while (s + repeat < sequenceSize && sequence[s + repeat] == value) ++repeat;
        s += repeat;
        if (value == 0) {
            while (repeat >= 11) {
                const int take = std::min(repeat, 138);
                add(18, take - 11);
                repeat -= take;
            }
            if (repeat >= 3) {
                add(17, repeat - 3);
                repeat = 0;
            }
        } else {
            add(value, 0);
            --repeat;
            while (repeat >= 3) {
                const int take = std::min(repeat, 6);
                add(16, take - 3);
                repeat -= take;
            }
        }
        for (; repeat > 0; --repeat) add(value, 0);
    }
    std::array<uint8_t, kCodeLengthSymbols> lengthLengths{};
    BuildCodeLengths(lengthFrequencies.data(), kCodeLengthSymbols, kMaxCodeLengthBits,
                     lengthLengths.data());
    std::array<uint32_t, kCodeLengthSymbols> lengthCodes{};
    BuildCodes(lengthLengths.data(), kCodeLengthSymbols, lengthCodes.data());
    int orderCount = kCodeLengthSymbols;
    while (orderCount > 4 && lengthLengths[kCodeLengthOrder[orderCount - 1]] == 0) --orderCount;

    writer.Put(final ? 1 : 0, 1);
    writer.Put(2, 2);
    writer.Put(static_cast<uint32_t>(literalCount - 257), 5);
    writer.Put(kDistanceCount - 1, 5);
    writer.Put(static_cast<uint32_t>(orderCount - 4), 4);
    writer.Flush();
    for (int k = 0; k < orderCount; ++k) {
        writer.Put(lengthLengths[kCodeLengthOrder[k]], 3);
        if (k % 8 == 7) writer.Flush();
    }
    writer.Flush();
    static constexpr uint8_t kExtraBits[kCodeLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (int k = 0; k < coded; ++k) {
        writer.Put(lengthCodes[symbols[k]]);
        writer.Put(extras[k], kExtraBits[symbols[k]]);
        writer.Flush();
    }
}

// The block's bytes in its codes, and its end: literals four at a time (56 bits at most)
// between flushes, then each run's matches at distance 1, whose code is the single bit 0. The
// four codes are joined apart from the writer, whose bit count is the one chain from word to
// word.
void WriteBlockData(BitWriter& writer, const uint8_t* bytes, std::size_t n,
                    const std::vector<Run>& runs,
                    const std::array<uint32_t, kLiteralLengthSymbols>& codes) {
    const LengthCodes& lengthCodes = Lengths();
    const auto joined = [&](std::size_t at) {
        const uint32_t first = codes[bytes[at]];
        const uint32_t second = codes[bytes[at + 1]];
        return std::pair<uint32_t, unsigned>{
            (first & 0xFFFFu) | (second & 0xFFFFu) << (first >> 16), (first >> 16) + (second >> 16)};
    };
    const auto putLiterals = [&](std::size_t from, std::size_t to) {
        for (; from + 4 <= to; from += 4) {
            const auto [low, lowBits] = joined(from);
            const auto [high, highBits] = joined(from + 2);
            writer.Put(low | static_cast<uint64_t>(high) << lowBits, lowBits + highBits);
            writer.Flush();
        }
        for (; from < to; ++from) writer.Put(codes[bytes[from]]);
        writer.Flush();
    };
    std::size_t next = 0;
    for (const Run& run : runs) {
        putLiterals(next, run.start + 1);
        ForEachMatch(run, [&](std::size_t match) {
            const LengthCode& code = lengthCodes.of[match];
            writer.Put(codes[code.symbol]);
            writer.Put(code.extra, code.extraBits);
            writer.Put(0, 1);
            writer.Flush();
        });
        next = run.start + run.length;
    }
    putLiterals(next, n);
    writer.Put(codes[kEndOfBlock]);
    writer.Flush();
}

}  // namespace

HuffmanDeflate::Bytes HuffmanDeflate::Compress(const uint8_t* data, std::size_t size, bool last) {
    const std::size_t blocks = (size + kBlockBytes - 1) / kBlockBytes;
    // Room for the header, each block's header and its bytes at 15 bits at most, the end,
    // and the 8 bytes a whole-word store may write past the last. Left uninitialised: every
    // byte handed out has been written.
    const std::size_t room = 2 + blocks * 400 + size * 2 + 16 + 8;
    if (room > outSize_) {
        out_.reset(new uint8_t[room]);
        outSize_ = room;
    }
    uint8_t* at = out_.get();
    runs_.reserve(kBlockBytes / kMinRun);
    if (!started_) {
        at[0] = 0x78;  // deflate with a 32 KiB window
        at[1] = 0x01;  // fastest compression; the header's check bits
        at += 2;
        started_ = true;
    }
    BitWriter writer(at, pendingBits_, pendingCount_);

    for (std::size_t block = 0; block < blocks; ++block) {
        const uint8_t* bytes = data + block * kBlockBytes;
        const std::size_t n = std::min(kBlockBytes, size - block * kBlockBytes);
        const bool final = last && block + 1 == blocks;

        FindRuns(bytes, n, runs_);
        std::array<uint32_t, kLiteralLengthSymbols> frequencies;
        CountSymbols(bytes, n, runs_, frequencies);
        std::array<uint8_t, kLiteralLengthSymbols> lengths{};
        BuildCodeLengths(frequencies.data(), kLiteralLengthSymbols, kMaxLiteralBits, lengths.data());
        std::array<uint32_t, kLiteralLengthSymbols> codes{};
        BuildCodes(lengths.data(), kLiteralLengthSymbols, codes.data());
        WriteBlockHeader(writer, lengths, final);
        WriteBlockData(writer, bytes, n, runs_, codes);
    }

    if (last) {
        if (blocks == 0) {  // an empty final block in the fixed code: type 1, end of block
            writer.Put(1, 1);
            writer.Put(1, 2);
            writer.Put(0, 7);
        }
        writer.Flush();
        if (writer.Count() != 0) writer.Put(0, 8 - writer.Count());  // to a whole byte
        writer.Flush();
    }
    if (size != 0) adler_ = isal_adler32(adler_, data, size);
    uint8_t* end = writer.Out();
    if (last) {
        for (int shift = 24; shift >= 0; shift -= 8) *end++ = static_cast<uint8_t>(adler_ >> shift);
    }
    pendingBits_ = writer.Bits();
    pendingCount_ = writer.Count();
    return {out_.get(), static_cast<std::size_t>(end - out_.get())};
}

}  // namespace media
