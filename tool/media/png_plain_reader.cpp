// Plain PNG files decoded without libpng: chunks read and checked, the IDAT data inflated by
// ISA-L as each chunk arrives, the rows unfiltered into the picture.
//
// It only ever gives a picture that libpng would give too, so everything it is unsure of is
// left to libpng: the limits below turn away only files that no usual program writes. One
// difference is beyond reach without inflating the stream twice: ISA-L accepts Huffman codes
// that leave part of their code space unused (incomplete), which zlib refuses. A file whose
// only fault is such a code, its data and checksums right, is decoded here where libpng
// refuses it; no encoder known to us writes one.
#include "png_plain_reader.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "file_io.h"
#include "png_unfilter.h"
#include "sample_order.h"
#include "vector_state.h"

namespace media {

namespace {

constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kChunkHeaderSize = 8;  // length, type
constexpr std::size_t kCrcSize = 4;
constexpr uint32_t kIhdrLength = 13;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kMaxPaletteLength = 3 * 256;

constexpr uint32_t ChunkType(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}
constexpr uint32_t kIhdr = ChunkType("IHDR");
constexpr uint32_t kPlte = ChunkType("PLTE");
constexpr uint32_t kIdat = ChunkType("IDAT");
constexpr uint32_t kIend = ChunkType("IEND");
constexpr uint32_t kTrns = ChunkType("tRNS");

// Bytes of chunks other than IDAT data, headers and CRCs included, held before the file is
// given up to libpng, which reads on from the stream: the text, profiles and metadata of
// usual files are far smaller, and so a stream of empty chunks holds no memory.
constexpr std::size_t kMaxOtherBytes = std::size_t{16} << 20;

// Most bytes read from the stream at a time, the buffer growing only as data arrive, so that
// a length claimed by a damaged or hostile file reserves nothing the file does not hold.
constexpr std::size_t kReadStep = std::size_t{1} << 20;

// Appends count bytes from the stream to bytes; false when fewer came (end of file or a read
// error, which libpng meets again when it reads on).
bool AppendFromStream(std::FILE* file, std::size_t count, PixelBytes& bytes) {
    while (count > 0) {
        const std::size_t step = std::min(count, kReadStep);
        const std::size_t at = bytes.size();
        bytes.resize(at + step);  // uninitialised: PixelBytes' allocator
        const std::size_t got = std::fread(bytes.data() + at, 1, step, file);
        bytes.resize(at + got);
        if (got != step) return false;
        count -= step;
    }
    return true;
}

// libpng refuses any other chunk type.
bool LettersOnly(const uint8_t* type) {
    return std::all_of(type, type + 4,
                       [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// A lower-case first letter marks an ancillary chunk, one a decoder may skip.
bool IsCritical(uint32_t type) { return (type & 0x20000000u) == 0; }

// The chunk at `chunk`: length, type, data, then the CRC of type and data.
bool CrcMatches(const uint8_t* chunk, uint32_t length) {
    const uint32_t crc = crc32_gzip_refl(0, chunk + 4, std::size_t{length} + 4);
    ClearUpperVectorState();
    return crc == BigEndian32(chunk + kChunkHeaderSize + length);
}

struct PlainLayout {
    int width;
    int height;
    bool alpha;
    int bitDepth;
    std::size_t bytesPerPixel;
    std::size_t rowBytes;
};

// The 13 bytes of IHDR's data, when they describe a plain file.
bool ParsePlainHeader(const uint8_t* data, PlainLayout& layout) {
    const uint32_t width = BigEndian32(data);
    const uint32_t height = BigEndian32(data + 4);
    const uint8_t bitDepth = data[8];
    const uint8_t colourType = data[9];
    // Sides first: once both are at most kMaxDimension their product cannot overflow.
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension ||
        static_cast<long long>(width) * height > kMaxPixels) {
        return false;
    }
    if ((bitDepth != 8 && bitDepth != 16) || (colourType != 2 && colourType != 6) ||
        data[10] != 0 || data[11] != 0 || data[12] != 0) {
        return false;
    }
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
    layout.alpha = colourType == 6;
    layout.bitDepth = bitDepth;
    layout.bytesPerPixel = static_cast<std::size_t>((layout.alpha ? 4 : 3) * bitDepth / 8);
    layout.rowBytes = layout.bytesPerPixel * width;
    return true;
}

// The zlib stream of the IDAT chunks, inflated piece by piece as the chunks arrive into a
// buffer of exactly the expected size.
class IdatInflater {
public:
    IdatInflater(uint8_t* out, std::size_t size) : size_(size), state_(new inflate_state) {
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_ZLIB;  // parses the zlib header, verifies the Adler-32 checksum
        state_->next_out = out;
        state_->avail_out = static_cast<uint32_t>(size);  // picture limits: below 2^30
    }

    // False once the data cannot be (the start of) a stream that zlib inflates to what ISA-L
    // gives, or when they run on past the stream's end.
    bool Add(const uint8_t* data, uint32_t size) {
        if (size == 0) return true;
        if (state_->block_state == ISAL_BLOCK_FINISH) return false;
        if (!headerChecked_) {
            // The header as zlib checks it, which ISA-L does more leniently: deflate, a window
            // of at most 32 KiB, no preset dictionary, the check bits. A header split across
            // two chunks is left to libpng.
            if (size < 2) return false;
            const unsigned method = data[0];
            const unsigned flags = data[1];
            const unsigned windowBits = (method >> 4) + 8;
            if ((method & 0x0F) != 8 || windowBits > 15 || (flags & 0x20) != 0 ||
                (method << 8 | flags) % 31 != 0) {
                return false;
            }
            // zlib refuses a distance reaching back past its window, ISA-L only one reaching
            // back past the stream's start (or past a distance code's range, not its exact
            // bound, when told a smaller window). They agree when the window is deflate's
            // largest, 32 KiB, or holds the whole stream, as in the small files for which
            // libpng makes it smaller.
            if (windowBits < 15 && size_ > std::size_t{1} << windowBits) return false;
            headerChecked_ = true;
        }
        state_->next_in = const_cast<uint8_t*>(data);  // ISA-L's field is not const; it only reads
        state_->avail_in = size;
        const int result = isal_inflate(state_.get());
        ClearUpperVectorState();
        if (result != ISAL_DECOMP_OK) return false;
        // At the stream's end every byte given must have been part of it.
        return state_->block_state != ISAL_BLOCK_FINISH ||
               (state_->avail_in == 0 && state_->read_in_length == 0);
    }

    // True when the stream ended, checksum verified, with the buffer exactly full.
    bool Complete() const {
        return state_->block_state == ISAL_BLOCK_FINISH && state_->avail_out == 0;
    }

private:
    std::size_t size_;
    std::unique_ptr<inflate_state> state_;
    bool headerChecked_ = false;
};

// The picture's samples are reserved with room for the rows as the file holds them (a filter
// type byte before each), which are inflated there and unfiltered in place: no second buffer
// of the picture's size is made, filled and freed.
uint8_t* MakePicture(const PlainLayout& layout, std::size_t filteredSize, Picture& picture) {
    picture.width = layout.width;
    picture.height = layout.height;
    picture.hasAlpha = layout.alpha;
    picture.bitDepth = layout.bitDepth;
    if (layout.bitDepth == 8) {
        picture.pixels.resize(filteredSize);
        return picture.pixels.data();
    }
    picture.pixels16.resize((filteredSize + 1) / 2);
    return reinterpret_cast<uint8_t*>(picture.pixels16.data());
}

// Unfilters the rows inflated at the start of the picture's samples to where they belong,
// and trims the samples to the picture's size. Row y of the picture starts y + 1 bytes before
// row y of the file: each filtered row is copied aside before its place is written, and
// writing it reaches no later filtered row.
void UnfilterInPlace(const PlainLayout& layout, Picture& picture) {
    const std::size_t rowBytes = layout.rowBytes;
    uint8_t* const samples = layout.bitDepth == 8
                                 ? picture.pixels.data()
                                 : reinterpret_cast<uint8_t*>(picture.pixels16.data());
    const std::vector<uint8_t> zeroRow(rowBytes, 0);
    std::vector<uint8_t> filtered(rowBytes);
    const uint8_t* above = zeroRow.data();
    for (std::size_t y = 0; y < static_cast<std::size_t>(layout.height); ++y) {
        const uint8_t* fileRow = samples + y * (rowBytes + 1);
        const uint8_t filterType = fileRow[0];
        std::memcpy(filtered.data(), fileRow + 1, rowBytes);
        uint8_t* row = samples + y * rowBytes;
        UnfilterRow(filterType, filtered.data(), above, rowBytes, layout.bytesPerPixel, row);
        // 16-bit rows are unfiltered as the file has them, big-endian; each is put in the
        // machine's order once the row below no longer needs it.
        if (layout.bitDepth == 16 && y > 0) MatchByteOrder(row - rowBytes, picture.Stride(), false);
        above = row;
    }
    const std::size_t sampleCount = picture.Stride() * static_cast<std::size_t>(layout.height);
    if (layout.bitDepth == 8) {
        picture.pixels.resize(sampleCount);
    } else {
        MatchByteOrder(samples + (layout.height - 1) * rowBytes, picture.Stride(), false);
        picture.pixels16.resize(sampleCount);
    }
}

}  // namespace

bool ReadPlainPng(std::FILE* file, PixelBytes& bytesRead, Picture& picture) {
    constexpr std::size_t kIhdrStart = kSignatureSize + kChunkHeaderSize + 8;  // width, height
    if (bytesRead.size() != kIhdrStart) return false;
    if (BigEndian32(&bytesRead[kSignatureSize]) != kIhdrLength ||
        BigEndian32(&bytesRead[kSignatureSize + 4]) != kIhdr ||
        !AppendFromStream(file, kIhdrLength - 8 + kCrcSize, bytesRead) ||
        !CrcMatches(&bytesRead[kSignatureSize], kIhdrLength)) {
        return false;
    }
    PlainLayout layout{};
    if (!ParsePlainHeader(&bytesRead[kSignatureSize + kChunkHeaderSize], layout)) return false;

    // Within the picture limits, the filtered rows are under 2^30 bytes. Their zlib stream may
    // be a little larger when stored rather than compressed (5 bytes for each block of up to
    // 64 KiB, 6 for the header and checksum); the margin allows far more than that.
    const std::size_t filteredSize =
        static_cast<std::size_t>(layout.height) * (layout.rowBytes + 1);
    const std::size_t maxIdatBytes = filteredSize + filteredSize / 64 + 1024;
    const long long bytesLeft = BytesLeftInRegularFile(file);
    if (bytesLeft > 0) {
        bytesRead.reserve(bytesRead.size() + static_cast<std::size_t>(std::min<long long>(
                                                 bytesLeft, maxIdatBytes + kMaxOtherBytes)));
    }

    Picture decoded;
    std::unique_ptr<IdatInflater> inflater;  // from the first IDAT chunk on
    std::size_t idatBytes = 0;
    std::size_t otherBytes = 0;
    bool idatEnded = false;
    bool havePalette = false;
    for (;;) {
        const std::size_t at = bytesRead.size();
        if (!AppendFromStream(file, kChunkHeaderSize, bytesRead)) return false;
        const uint32_t length = BigEndian32(&bytesRead[at]);
        const uint32_t type = BigEndian32(&bytesRead[at + 4]);
        if (length > kMaxChunkLength || !LettersOnly(&bytesRead[at + 4])) return false;
        otherBytes += kChunkHeaderSize + kCrcSize;
        if (type == kIdat) {
            if (idatEnded || length > maxIdatBytes - idatBytes) return false;
            idatBytes += length;
            if (!inflater) {
                uint8_t* rows = MakePicture(layout, filteredSize, decoded);
                inflater = std::make_unique<IdatInflater>(rows, filteredSize);
            }
        } else {
            idatEnded = inflater != nullptr;
            if (type == kIend) {
                if (length != 0 || !inflater) return false;
            } else if (type == kPlte) {
                if (havePalette || inflater || length == 0 || length > kMaxPaletteLength ||
                    length % 3 != 0) {
                    return false;
                }
                havePalette = true;
            } else if (IsCritical(type) || type == kTrns) {
                return false;
            }
            otherBytes += length;
        }
        if (otherBytes > kMaxOtherBytes) return false;
        if (!AppendFromStream(file, std::size_t{length} + kCrcSize, bytesRead)) return false;
        const uint8_t* chunk = &bytesRead[at];
        if (!CrcMatches(chunk, length)) return false;
        if (type == kIdat && !inflater->Add(chunk + kChunkHeaderSize, length)) return false;
        if (type == kIend) break;
    }
    if (!inflater->Complete()) return false;
    const uint8_t* filteredRows = decoded.bitDepth == 8
                                      ? decoded.pixels.data()
                                      : reinterpret_cast<const uint8_t*>(decoded.pixels16.data());
    for (std::size_t y = 0; y < static_cast<std::size_t>(layout.height); ++y) {
        if (filteredRows[y * (layout.rowBytes + 1)] > kPngFilterPaeth) return false;
    }

    PixelBytes().swap(bytesRead);
    UnfilterInPlace(layout, decoded);
    picture = std::move(decoded);
    return true;
}

}  // namespace media
