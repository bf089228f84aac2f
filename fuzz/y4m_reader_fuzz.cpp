// The bytes are a YUV4MPEG2 stream. They are read four ways, which must agree:
//   - in order with readFrame, from an in-memory stream (exactly sized planes);
//   - from a regular file with countFrames and then readFrameAt for every frame (planes with
//     padded rows, whose padding must stay untouched);
//   - countFrames on the in-memory stream, which is not a regular file, must be refused;
//   - in order from the in-memory stream again, skipping every other frame (skipFrame),
//     with atEnd asked before each frame.
// Only media::MediaError may come out, every size reported stays within picture.h's limits,
// every two-byte sample delivered is within the header's depth, and a stream read to its clean
// end is exactly its header line and frames, byte for byte (this machine being little-endian,
// as the file's two-byte samples are). A sample beyond the depth fails the frame alike in every
// way of reading it, except that counting finds damage later in the file first.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "media_error.h"
#include "picture.h"
#include "sample_order.h"
#include "y4m_io.h"

namespace {

struct Frame {
    std::string params;
    std::vector<uint8_t> y, u, v;  // packed rows
};

// The outcome of reading a whole stream: the frames, and the error that ended it, if any.
struct Outcome {
    std::vector<Frame> frames;
    bool failed = false;
    std::string message;
};

// A plane destination of exactly the size the reader may write, so that AddressSanitizer
// sees any byte written past the last row. Padding bytes between rows hold kPadding.
constexpr uint8_t kPadding = 0xA5;

// width counts bytes; a plane of no rows (mono's U and V) has no memory and a null Dest.
class Plane {
public:
    Plane(int width, int height, int padding)
        : width_(width),
          height_(height),
          pitch_(width + padding),
          bytes_(height == 0 ? 0
                             : static_cast<std::size_t>(pitch_) *
                                       static_cast<std::size_t>(height - 1) +
                                   static_cast<std::size_t>(width)),
          data_(bytes_ == 0 ? nullptr : new uint8_t[bytes_]) {
        for (int row = 0; padding != 0 && row + 1 < height; ++row)
            std::memset(data_.get() + static_cast<std::size_t>(row) * pitch_ + width, kPadding,
                        static_cast<std::size_t>(padding));
    }
    media::PlaneDest Dest() const { return {data_.get(), pitch_}; }

    std::vector<uint8_t> Packed() const {
        std::vector<uint8_t> packed;
        packed.reserve(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
        for (int row = 0; row < height_; ++row) {
            const uint8_t* line = data_.get() + static_cast<std::size_t>(row) * pitch_;
            packed.insert(packed.end(), line, line + width_);
        }
        return packed;
    }
    bool PaddingUntouched() const {
        for (int row = 0; row + 1 < height_; ++row) {
            const uint8_t* line = data_.get() + static_cast<std::size_t>(row) * pitch_;
            for (int x = width_; x < pitch_; ++x)
                if (line[x] != kPadding) return false;
        }
        return true;
    }

private:
    int width_, height_, pitch_;
    std::size_t bytes_;
    std::unique_ptr<uint8_t[]> data_;
};

struct Planes {
    Plane y, u, v;
    Planes(const media::Y4mHeader& h, int padding)
        : y(h.width * h.BytesPerSample(), h.height, padding),
          u(h.ChromaWidth() * h.BytesPerSample(), h.ChromaHeight(), padding),
          v(h.ChromaWidth() * h.BytesPerSample(), h.ChromaHeight(), padding),
          maxSample_(h.MaxSample()),
          deep_(h.BytesPerSample() == 2) {}
    // The frame as read; its samples must lie within the depth.
    Frame Take(const media::Y4mFrameHeader& header) const {
        Frame frame{header.params, y.Packed(), u.Packed(), v.Packed()};
        for (const std::vector<uint8_t>* plane : {&frame.y, &frame.u, &frame.v}) {
            for (std::size_t i = 0; deep_ && i + 1 < plane->size(); i += 2) {
                uint16_t sample;
                std::memcpy(&sample, plane->data() + i, 2);
                FUZZ_REQUIRE(sample <= maxSample_, "a sample beyond the depth delivered");
            }
        }
        return frame;
    }
    bool PaddingUntouched() const {
        return y.PaddingUntouched() && u.PaddingUntouched() && v.PaddingUntouched();
    }

private:
    int maxSample_;
    bool deep_;
};

void CheckHeader(const media::Y4mHeader& h) {
    FUZZ_REQUIRE(h.width >= 1 && h.height >= 1 && h.width <= media::kMaxDimension &&
                     h.height <= media::kMaxDimension &&
                     static_cast<long long>(h.width) * h.height <= media::kMaxPixels,
                 std::to_string(h.width) + "x" + std::to_string(h.height));
    FUZZ_REQUIRE(h.bitDepth >= 8 && h.bitDepth <= 16, "depth " + std::to_string(h.bitDepth));
    FUZZ_REQUIRE(h.BytesPerSample() == (h.bitDepth > 8 ? 2 : 1), "bytes per sample");
    const bool is420 = h.chroma == media::Y4mChroma::Yuv420;
    const bool halved = is420 || h.chroma == media::Y4mChroma::Yuv422;
    const bool mono = h.chroma == media::Y4mChroma::Mono;
    if (halved) FUZZ_REQUIRE(h.width % 2 == 0, "odd width with subsampled chroma");
    if (is420) FUZZ_REQUIRE(h.height % 2 == 0, "odd height in 4:2:0");
    FUZZ_REQUIRE(h.PlaneCount() == (mono ? 1 : 3), "plane count");
    FUZZ_REQUIRE(h.ChromaWidth() == (mono ? 0 : halved ? h.width / 2 : h.width), "chroma width");
    FUZZ_REQUIRE(h.ChromaHeight() == (mono ? 0 : is420 ? h.height / 2 : h.height),
                 "chroma height");
    const std::size_t sample = static_cast<std::size_t>(h.BytesPerSample());
    const std::size_t luma =
        static_cast<std::size_t>(h.width) * static_cast<std::size_t>(h.height) * sample;
    FUZZ_REQUIRE(h.LumaBytes() == luma, "luma bytes");
    FUZZ_REQUIRE(h.FrameBytes() == luma + 2 * h.ChromaBytes(), "frame bytes");
    FUZZ_REQUIRE(h.ChromaBytes() == static_cast<std::size_t>(h.ChromaWidth()) *
                                        static_cast<std::size_t>(h.ChromaHeight()) * sample,
                 "chroma bytes");
}

// Runs body; only MediaError may escape it (recorded in outcome), anything else is a bug.
template <class Body>
void Guard(Outcome& outcome, Body&& body) {
    try {
        body();
    } catch (const media::MediaError& e) {
        outcome.failed = true;
        outcome.message = e.what();
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("unexpected exception: ") + e.what());
    } catch (...) {
        fuzz::Fail(__FILE__, __LINE__, "unexpected non-standard exception");
    }
}

bool SameFrame(const Frame& a, const Frame& b) {
    return a.params == b.params && a.y == b.y && a.u == b.u && a.v == b.v;
}

// The first way: in order, from a stream.
Outcome ReadInOrder(std::FILE* stream, std::size_t inputSize) {
    Outcome outcome;
    Guard(outcome, [&] {
        media::Y4mReader reader(stream, "input");
        CheckHeader(reader.Header());
        const Planes planes(reader.Header(), 0);
        for (;;) {
            const int before = reader.NextFrameNumber();
            FUZZ_REQUIRE(before == static_cast<int>(outcome.frames.size()), "frame numbering");
            // No file can hold more frames than it has bytes for.
            FUZZ_REQUIRE(
                static_cast<std::size_t>(before) * reader.Header().FrameBytes() <= inputSize,
                "more frames than bytes");
            media::Y4mFrameHeader header;
            if (!reader.ReadFrame(header, planes.y.Dest(), planes.u.Dest(), planes.v.Dest())) break;
            FUZZ_REQUIRE(reader.NextFrameNumber() == before + 1, "frame numbering");
            FUZZ_REQUIRE(header.params.empty() || header.params[0] == ' ',
                         "frame parameters not separated by a space");
            outcome.frames.push_back(planes.Take(header));
        }
        // The stream's end is sticky: asking again still says so.
        media::Y4mFrameHeader header;
        FUZZ_REQUIRE(!reader.ReadFrame(header, planes.y.Dest(), planes.u.Dest(), planes.v.Dest()),
                     "a frame after the end");
    });
    return outcome;
}

// A stream read to its clean end consists of its header line and its frames, nothing else.
void CheckReassembly(const uint8_t* data, std::size_t size, const Outcome& outcome) {
    const void* newline = std::memchr(data, '\n', size);
    FUZZ_REQUIRE(newline != nullptr, "a header was read without a newline");
    std::string rebuilt(reinterpret_cast<const char*>(data),
                        static_cast<const uint8_t*>(newline) - data + 1);
    for (const Frame& f : outcome.frames) {
        rebuilt += "FRAME" + f.params + "\n";
        rebuilt.append(f.y.begin(), f.y.end());
        rebuilt.append(f.u.begin(), f.u.end());
        rebuilt.append(f.v.begin(), f.v.end());
    }
    FUZZ_REQUIRE(rebuilt.size() == size && std::memcmp(rebuilt.data(), data, size) == 0,
                 "the frames read do not make up the stream");
}

// The second way: counted, then by number.
void ReadByNumber(std::FILE* file, const Outcome& inOrder) {
    Outcome counted;
    bool countedAll = false;
    Guard(counted, [&] {
        media::Y4mReader reader(file, "input");
        const int count = reader.CountFrames();
        countedAll = true;
        FUZZ_REQUIRE(reader.CountFrames() == count, "a second count differs");
        FUZZ_REQUIRE(reader.NextFrameNumber() == 0, "counting moved the position");
        // Padded rows: the reader must copy row by row and leave the padding alone.
        const Planes planes(reader.Header(), 3);
        for (int n = 0; n < count; ++n) {
            media::Y4mFrameHeader header;
            reader.ReadFrameAt(n, header, planes.y.Dest(), planes.u.Dest(), planes.v.Dest());
            FUZZ_REQUIRE(planes.PaddingUntouched(), "row padding written");
            counted.frames.push_back(planes.Take(header));
        }
        for (const int n : {-1, count}) {
            media::Y4mFrameHeader header;
            bool refused = false;
            try {
                reader.ReadFrameAt(n, header, planes.y.Dest(), planes.u.Dest(), planes.v.Dest());
            } catch (const media::MediaError&) {
                refused = true;
            }
            FUZZ_REQUIRE(refused, "readFrameAt(" + std::to_string(n) + ") of " +
                                      std::to_string(count) + " frames");
        }
    });
    FUZZ_REQUIRE(counted.failed == inOrder.failed,
                 "reading in order " +
                     (inOrder.failed ? "failed: " + inOrder.message : "succeeded") + "; counting " +
                     (counted.failed ? "failed: " + counted.message : "succeeded"));
    if (counted.failed) {
        // Counting checks the whole file's structure before any sample is read, so it may
        // report damage after a frame whose samples reading in order refused.
        const bool sampleFirst = !countedAll &&
                                 inOrder.message.find(" is beyond the ") != std::string::npos;
        FUZZ_REQUIRE(counted.message == inOrder.message || sampleFirst,
                     "'" + counted.message + "' vs '" + inOrder.message + "'");
        return;
    }
    FUZZ_REQUIRE(counted.frames.size() == inOrder.frames.size(), "frame counts differ");
    for (std::size_t n = 0; n < counted.frames.size(); ++n)
        FUZZ_REQUIRE(SameFrame(counted.frames[n], inOrder.frames[n]),
                     "frame " + std::to_string(n) + " differs between the two ways");
}

// The fourth way: in order from a stream, every other frame skipped. atEnd says whether a
// frame follows; the frames read are those read in order, and it fails as that did.
void SkipEveryOther(std::FILE* stream, const Outcome& inOrder) {
    Outcome skipping;
    Guard(skipping, [&] {
        media::Y4mReader reader(stream, "input");
        const Planes planes(reader.Header(), 0);
        for (std::size_t n = 0;; ++n) {
            const bool end = reader.AtEnd();
            media::Y4mFrameHeader header;
            const bool got = n % 2 == 0 ? reader.SkipFrame()
                                        : reader.ReadFrame(header, planes.y.Dest(),
                                                           planes.u.Dest(), planes.v.Dest());
            FUZZ_REQUIRE(got == !end, "atEnd disagrees with the next read");
            if (!got) break;
            FUZZ_REQUIRE(reader.NextFrameNumber() == static_cast<int>(n) + 1, "frame numbering");
            if (n % 2 == 1)
                FUZZ_REQUIRE(n < inOrder.frames.size() &&
                                 SameFrame(planes.Take(header), inOrder.frames[n]),
                             "frame " + std::to_string(n) + " differs after skipping");
        }
    });
    FUZZ_REQUIRE(skipping.failed == inOrder.failed && skipping.message == inOrder.message,
                 "skipping: '" + skipping.message + "' vs '" + inOrder.message + "'");
}

// The third way: a stream that is not a regular file cannot be counted.
void CountNonRegular(std::FILE* stream) {
    Outcome outcome;
    bool constructed = false;
    Guard(outcome, [&] {
        media::Y4mReader reader(stream, "input");
        constructed = true;
        reader.CountFrames();
    });
    if (constructed) FUZZ_REQUIRE(outcome.failed, "counted the frames of an in-memory stream");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::ScratchFile scratch;
    std::vector<uint8_t> copy(data, data + size);

    Outcome inOrder;
    if (size == 0) {
        inOrder = ReadInOrder(scratch.Load(data, size), size);
    } else {
        std::FILE* memory = fmemopen(copy.data(), copy.size(), "rb");
        FUZZ_REQUIRE(memory != nullptr, "fmemopen");
        inOrder = ReadInOrder(memory, size);
        std::rewind(memory);
        CountNonRegular(memory);
        std::rewind(memory);
        SkipEveryOther(memory, inOrder);
        std::fclose(memory);
    }
    // Two-byte samples come back in the machine's order, the file's only on little-endian ones.
    if (!inOrder.failed && media::kLittleEndianHost) CheckReassembly(data, size, inOrder);
    ReadByNumber(scratch.Load(data, size), inOrder);
    return 0;
}
