// The host-neutral engine on its own, at every depth: the checks that refuse a call before any
// filter exists, and RenderFrame on frames whose samples are any bit patterns (NaN, infinities,
// -0, denormals and huge values in float planes; words above their depth's top).
//
// The bytes choose, in this order (see Call::Read): a format of the engine's table (or one no
// adapter maps), a depth (8 bits, 9 to 16, float, now and then one the engine does not take),
// the width and height (mostly 0 to 24, sometimes far outside), sh, sm, smu and smv (mostly
// within their ranges, sometimes just outside, sometimes anything), c4, useclip, what the
// segmentation clip is (absent, the input itself, another format, size or length, or a good
// one), which host's rules to follow, the row padding of every plane of the destination,
// source and segmentation frames, how the second render walks the frame, how each of the
// source and segmentation frames turns bytes into samples, and then those bytes, which repeat.
//
// Properties:
//   - FirstFailedCheck refuses, with the expected text, exactly when and as the argument rules
//     say, under both hosts' rules; only an accepted call is rendered;
//   - rendering stays within each plane (every plane is allocated exactly pitch x rows, so the
//     sanitizer sees any overrun), writes every byte of every row and no byte of the row
//     padding, and leaves the source and segmentation frames as they were;
//   - channels the settings do not process (U with smu 0, V with smv 0, alpha, Y or RGB with sh
//     and sm 0) come out bit for bit as the source has them;
//   - every processed sample is within its range: at most 2^bits - 1 for integers; finite and
//     within 0..1 for float Y, RGB and grey, -0.5..0.5 for float U and V (stored centred on 0);
//   - the output depends only on visible samples: a second render with other pitches, other
//     bytes in every row's padding, working buffers full of what the first left plus junk, and
//     the steps taken in reverse order or through a host's plane copy gives the same bytes.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "arguments.h"
#include "frame_plan.h"
#include "frame_render.h"
#include "fuzz_support.h"
#include "pixel_formats.h"
#include "working_buffers.h"

namespace {

constexpr int kMaxSide = 24;            // the largest frame side that is rendered
constexpr int kMaxPaddingSamples = 8;   // row padding, in samples
constexpr int kFrames = 10;             // the clip's length, for the segmentation clip's check
constexpr int kFormatCount = static_cast<int>(std::size(engine::kPixelFormats));

using fuzz::Bytes;

// The sample bytes: the rest of the input, repeated, each repetition shifted by one so that
// a short input still gives frames that are not periodic.
class SampleBytes {
public:
    explicit SampleBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint8_t Next() {
        const std::size_t i = pos_++;
        if (bytes_.empty()) return static_cast<uint8_t>(i * 37 + 11);
        return static_cast<uint8_t>(bytes_[i % bytes_.size()] + i / bytes_.size());
    }

private:
    std::vector<uint8_t> bytes_;
    std::size_t pos_ = 0;
};

const engine::PixelFormat* Format(Bytes& b) {
    const uint8_t v = b.Byte();
    return v < 250 ? engine::kPixelFormats[v % kFormatCount] : nullptr;  // nullptr: unmapped
}

engine::SampleFormat Depth(Bytes& b) {
    const uint8_t v = b.Byte();
    if (v < 240) {
        const int pick = v % 10;
        return pick == 0 ? engine::kByteSamples
               : pick == 9 ? engine::kFloatSamples
                           : engine::IntegerSamples(8 + pick);
    }
    // Depths a host might describe but the engine does not take.
    static const engine::SampleFormat kOthers[] = {
        {engine::SampleType::Byte, 9},   {engine::SampleType::Word, 8},
        {engine::SampleType::Word, 17},  {engine::SampleType::Float, 16},
        {engine::SampleType::Byte, 16},  {engine::SampleType::Float, 64},
    };
    return kOthers[v % std::size(kOthers)];
}

int Side(Bytes& b) {
    const uint8_t v = b.Byte();
    if (v < 240) return v % (kMaxSide + 1);
    // Far outside, around what the working buffers' 32-bit indices allow (2^29 - 1 pixels):
    // 23168^2 is within, 23172^2 beyond; each divides by every subsampling.
    static const int kFar[] = {-1, -2, INT_MIN, INT_MAX, 23168, 23172, 1 << 28, 1 << 29, 46336};
    return kFar[v % std::size(kFar)];
}

// Mostly within [low, high], sometimes just outside, sometimes anything.
int IntSetting(Bytes& b, int low, int high) {
    const uint8_t kind = b.Byte() % 8;
    const int pick = b.Byte();
    if (kind < 5) return low + pick % (high - low + 1);
    if (kind == 5) return low - 1 - pick % 3;
    if (kind == 6) return high + 1 + pick % 3;
    return b.Int32();
}

// How sample bytes become samples.
enum class Encoding {
    Raw,     // the bytes of each sample as they come: any bit pattern
    Mixed,   // one byte a sample: mostly within the range, now and then a value at its edges
    Coarse,  // one byte a sample, four levels within the range: plateaus for the watershed
    Count
};

struct Call {
    engine::ClipFacts input{};
    engine::FilterSettings settings{};
    engine::SclipFacts sclip{};
    engine::HostRules rules = engine::HostRules::Avisynth;
    // Row padding in samples, per pass, frame (destination, source, segmentation) and plane.
    int padding[2][3][4] = {};
    bool reverseSteps = false;  // the second render, step by step from the last
    bool hostCopy = false;      // the second render, with a plane copy of the host's
    Encoding encoding[2] = {};  // of the source and the segmentation frame
    std::vector<uint8_t> samples;

    void Read(Bytes& b);
};

void Call::Read(Bytes& b) {
    input.format.pixels = Format(b);
    input.format.samples = Depth(b);
    input.width = Side(b);
    input.height = Side(b);
    input.frames = kFrames;
    settings.sh = IntSetting(b, -10, 10);
    settings.sm = IntSetting(b, 0, 10);
    settings.smu = IntSetting(b, 0, 10);
    settings.smv = IntSetting(b, 0, 10);
    settings.c4 = b.Byte() & 1;
    settings.useclip = b.Byte() & 1;

    const uint8_t variant = b.Byte();
    sclip.given = true;
    sclip.sameAsInput = false;
    sclip.facts = input;
    sclip.sameFormat = true;
    switch (variant % 8) {
        case 4: sclip = engine::SclipFacts{}; break;
        case 5: sclip.sameAsInput = true; break;
        case 6: sclip.sameFormat = false; break;
        case 7: {
            // ^ 1: another value whatever the value, INT_MAX and negative ones included.
            const int which = variant / 8 % 3;
            int& field = which == 0   ? sclip.facts.width
                         : which == 1 ? sclip.facts.height
                                      : sclip.facts.frames;
            field ^= 1;
            break;
        }
        default: break;  // a good segmentation clip
    }
    rules = b.Byte() & 1 ? engine::HostRules::VapourSynth : engine::HostRules::Avisynth;

    for (int frame = 0; frame < 3; ++frame)
        for (int plane = 0; plane < 4; ++plane) {
            const uint8_t v = b.Byte();
            padding[0][frame][plane] = v % kMaxPaddingSamples;
            // Always another padding in the second pass.
            padding[1][frame][plane] = (v % kMaxPaddingSamples + 1 + v / kMaxPaddingSamples %
                                        (kMaxPaddingSamples - 1)) % kMaxPaddingSamples;
        }
    const uint8_t walk = b.Byte();
    reverseSteps = walk & 1;
    hostCopy = walk & 2;
    for (Encoding& e : encoding)
        e = static_cast<Encoding>(b.Byte() % static_cast<int>(Encoding::Count));
    samples = b.Rest();
}

// ---- The argument rules, read independently of the engine's code --------------------------

constexpr char kNoPixels[] = "BasinLift: the clip must be at least 1 pixel wide and high";
constexpr char kOddSizeClassic[] =
    "BasinLift: YUY2 needs an even width, YV12 and I420 an even width and height";
constexpr char kOddSizeOther[] =
    "BasinLift: the width and height must divide by the chroma subsampling of the format";
constexpr char kNothingToDoRgb[] = "BasinLift: sh and sm both can not be zero";
constexpr char kNothingToDoYuv[] = "BasinLift: sh, sm, smu and smv  values are zero";
constexpr char kNothingToDoGray[] =
    "BasinLift: sh and sm both can not be zero; a clip of Y alone has no U and V for smu and smv";
constexpr char kSclipMissing[] = "BasinLift:For useclip option sclip must be defined";
constexpr char kSclipIdentical[] = "BasinLift:clip to be smoothed and sclip must not be identical";
constexpr char kTooLarge[] = "BasinLift: the frame is too large for the working buffers";

bool Within(int value, int low, int high) { return value >= low && value <= high; }

bool TakenDepth(const engine::SampleFormat& s) {
    switch (s.type) {
        case engine::SampleType::Byte: return s.bits == 8;
        case engine::SampleType::Word: return s.bits >= 9 && s.bits <= 16;
        case engine::SampleType::Float: return s.bits == 32;
    }
    return false;
}

// The refusal the rules give first, or nullptr: format, size, sh, sm, RGB with nothing to
// do, the segmentation clip, smu, smv, YUV or grey with nothing to do, the buffers' size.
const char* ExpectedRefusal(const Call& call, engine::HostRules rules) {
    const engine::ClipFacts& in = call.input;
    const engine::FilterSettings& s = call.settings;
    if (!in.format.pixels || !TakenDepth(in.format.samples))
        return engine::kUnsupportedFormatRefusal;
    const engine::PixelFormat& f = *in.format.pixels;
    const bool rgb = f.layout == engine::Layout::PackedBgr || f.layout == engine::Layout::PlanarRgb;
    const bool chroma = f.layout == engine::Layout::PackedYuy2 || f.layout == engine::Layout::PlanarYuv;

    if (in.width < 1 || in.height < 1) return kNoPixels;
    if (in.width % (1 << f.chromaShiftX) != 0 || in.height % (1 << f.chromaShiftY) != 0) {
        const bool classic = f.layout == engine::Layout::PackedYuy2 ||
                             (f.chromaShiftX == 1 && f.chromaShiftY == 1);
        return classic ? kOddSizeClassic : kOddSizeOther;
    }
    if (!Within(s.sh, -10, 10)) return engine::kArguments[engine::kArgSh].rangeRefusal;
    if (!Within(s.sm, 0, 10)) return engine::kArguments[engine::kArgSm].rangeRefusal;
    if (rgb && s.sh == 0 && s.sm == 0) return kNothingToDoRgb;
    if (s.useclip) {
        const engine::SclipFacts& c = call.sclip;
        if (!c.given) return kSclipMissing;
        if (c.sameAsInput) return kSclipIdentical;
        if (!c.sameFormat || c.facts.width != in.width || c.facts.height != in.height ||
            c.facts.frames != in.frames)
            return engine::kSclipDiffersRefusal;
    }
    // AviSynth hosts hand any smu and smv of an RGB clip to the filter, which ignores them.
    const bool chromaChecked = !(rgb && rules == engine::HostRules::Avisynth);
    if (chromaChecked && !Within(s.smu, 0, 10))
        return engine::kArguments[engine::kArgSmu].rangeRefusal;
    if (chromaChecked && !Within(s.smv, 0, 10))
        return engine::kArguments[engine::kArgSmv].rangeRefusal;
    if (chroma && s.sh == 0 && s.sm == 0 && s.smu == 0 && s.smv == 0) return kNothingToDoYuv;
    if (!chroma && s.sh == 0 && s.sm == 0) return kNothingToDoGray;
    if (int64_t{in.width} * in.height > INT32_MAX / 4) return kTooLarge;
    return nullptr;
}

void CheckRefusals(const Call& call) {
    for (const engine::HostRules rules :
         {engine::HostRules::Avisynth, engine::HostRules::VapourSynth}) {
        const char* expected = ExpectedRefusal(call, rules);
        const char* got = engine::FirstFailedCheck(call.input, call.settings, call.sclip, rules);
        const std::string host = rules == engine::HostRules::Avisynth ? "AviSynth" : "VapourSynth";
        FUZZ_REQUIRE((got == nullptr) == (expected == nullptr),
                     host + (got ? std::string(" rules refused a valid call: ") + got
                                 : std::string(" rules accepted a call to refuse with: ") + expected));
        if (got)
            FUZZ_REQUIRE(std::strcmp(got, expected) == 0,
                         host + " rules: \"" + got + "\" instead of \"" + expected + "\"");
    }
}

// ---- Frames ---------------------------------------------------------------------------------

// What a sample of a format is, from the format's layout alone.
enum class Kind { Colour, U, V, Alpha };  // Colour: R, G, B, Y or grey

Kind KindOf(const engine::PixelFormat& f, int plane, int x) {
    switch (f.layout) {
        case engine::Layout::PackedBgr: return x % f.samplesPerPixel == 3 ? Kind::Alpha : Kind::Colour;
        case engine::Layout::PackedYuy2: return x % 2 == 0 ? Kind::Colour : x % 4 == 1 ? Kind::U : Kind::V;
        case engine::Layout::PlanarYuv:
            return plane == 0 ? Kind::Colour : plane == 1 ? Kind::U : plane == 2 ? Kind::V : Kind::Alpha;
        case engine::Layout::PlanarRgb: return plane == 3 ? Kind::Alpha : Kind::Colour;
        case engine::Layout::Gray: return Kind::Colour;
    }
    return Kind::Alpha;
}

bool ProcessedKind(Kind kind, const engine::FilterSettings& s) {
    switch (kind) {
        case Kind::Colour: return s.sh != 0 || s.sm != 0;
        case Kind::U: return s.smu != 0;
        case Kind::V: return s.smv != 0;
        case Kind::Alpha: return false;
    }
    return false;
}

// A frame's geometry: per plane, samples per row and rows.
struct Geometry {
    const engine::PixelFormat* format;
    engine::SampleFormat samples;
    int planes;
    int width[4] = {}, rows[4] = {};

    Geometry(const engine::VideoFormat& f, int w, int h)
        : format(f.pixels), samples(f.samples), planes(engine::PlaneCount(*f.pixels)) {
        for (int p = 0; p < planes; ++p) {
            width[p] = engine::PlaneWidth(*format, p, w);
            rows[p] = engine::PlaneHeight(*format, p, h);
        }
    }
    int SampleSize() const { return samples.Bytes(); }
    int RowBytes(int p) const { return width[p] * SampleSize(); }
};

// The visible bytes of a frame, plane by plane, rows without gaps.
using Picture = std::vector<std::vector<uint8_t>>;

// Bit patterns at and beyond the edges of the float range.
constexpr uint32_t kFloatEdges[] = {
    0x7FC00000,  // NaN
    0xFFC00000,  // -NaN
    0x7F800001,  // signalling NaN
    0x7F800000,  // +inf
    0xFF800000,  // -inf
    0x80000000,  // -0
    0x00000001,  // the smallest denormal
    0x80000001,  // its negative
    0x007FFFFF,  // the largest denormal
    0x7F7FFFFF,  // the largest float
    0xFF7FFFFF,  // its negative
    0x3F800000,  // 1
    0x3F800001,  // just above 1
    0x3F000000,  // 0.5
    0x3F000001,  // just above 0.5
    0xBF000000,  // -0.5
    0xBF000001,  // just below -0.5
    0xBF800000,  // -1
    0x7E967699,  // 1e38: twelve of them overflow a sum
    0xFE967699,  // -1e38
};

void Store(uint8_t* at, const engine::SampleFormat& samples, double fraction, Kind kind) {
    switch (samples.type) {
        case engine::SampleType::Byte: *at = static_cast<uint8_t>(std::lround(fraction * 255)); break;
        case engine::SampleType::Word: {
            const auto word = static_cast<uint16_t>(std::lround(fraction * ((1 << samples.bits) - 1)));
            std::memcpy(at, &word, sizeof word);
            break;
        }
        case engine::SampleType::Float: {
            const bool chroma = kind == Kind::U || kind == Kind::V;
            const auto value = static_cast<float>(fraction - (chroma ? 0.5 : 0.0));
            std::memcpy(at, &value, sizeof value);
            break;
        }
    }
}

void StoreEdge(uint8_t* at, const engine::SampleFormat& samples, uint8_t pick) {
    switch (samples.type) {
        case engine::SampleType::Byte: *at = pick & 1 ? 255 : 0; break;
        case engine::SampleType::Word: {
            const int top = (1 << samples.bits) - 1;
            // The top, and words whose bits beyond the depth are set.
            const int edges[] = {top, top + 1, 0xFFFF, 0x8000, 0xFFFF ^ top, 0};
            const auto word = static_cast<uint16_t>(edges[pick % std::size(edges)]);
            std::memcpy(at, &word, sizeof word);
            break;
        }
        case engine::SampleType::Float:
            std::memcpy(at, &kFloatEdges[pick % std::size(kFloatEdges)], sizeof(float));
            break;
    }
}

Picture MakePicture(const Geometry& g, Encoding encoding, SampleBytes& bytes) {
    Picture picture(static_cast<std::size_t>(g.planes));
    const int sampleBytes = g.SampleSize();
    for (int p = 0; p < g.planes; ++p) {
        std::vector<uint8_t>& plane = picture[static_cast<std::size_t>(p)];
        plane.resize(static_cast<std::size_t>(g.RowBytes(p)) * static_cast<std::size_t>(g.rows[p]));
        for (int y = 0; y < g.rows[p]; ++y)
            for (int x = 0; x < g.width[p]; ++x) {
                uint8_t* at = plane.data() + (static_cast<std::size_t>(y) * g.width[p] + x) * sampleBytes;
                const Kind kind = KindOf(*g.format, p, x);
                if (encoding == Encoding::Raw) {
                    for (int i = 0; i < sampleBytes; ++i) at[i] = bytes.Next();
                    continue;
                }
                const uint8_t v = bytes.Next();
                if (encoding == Encoding::Coarse)
                    Store(at, g.samples, (v % 4) / 3.0, kind);
                else if (v < 224)
                    Store(at, g.samples, v / 223.0, kind);
                else
                    StoreEdge(at, g.samples, static_cast<uint8_t>(v - 224));
            }
    }
    return picture;
}

// A frame as a host keeps one: each plane in an allocation of exactly pitch x rows, the
// pitch a multiple of the sample size beyond the row.
class Frame {
public:
    Frame(const Geometry& g, const int padding[4]) : g_(g) {
        for (int p = 0; p < g.planes; ++p) {
            pitch_[p] = g.RowBytes(p) + padding[p] * g.SampleSize();
            planes_[p].assign(static_cast<std::size_t>(pitch_[p]) * static_cast<std::size_t>(g.rows[p]), 0);
        }
    }

    uint8_t* Row(int p, int y) { return planes_[p].data() + static_cast<std::ptrdiff_t>(y) * pitch_[p]; }
    ptrdiff_t Pitch(int p) const { return pitch_[p]; }
    const std::vector<uint8_t>& Allocation(int p) const { return planes_[p]; }

    // Every byte a pattern of its position and `salt`; two salts that differ in every bit
    // give patterns that differ in every byte.
    void Mark(uint8_t salt) {
        for (int p = 0; p < g_.planes; ++p)
            for (int y = 0; y < g_.rows[p]; ++y)
                for (ptrdiff_t x = 0; x < pitch_[p]; ++x) Row(p, y)[x] = Marker(salt, p, x, y);
    }
    static uint8_t Marker(uint8_t salt, int p, ptrdiff_t x, int y) {
        return static_cast<uint8_t>(salt ^ (0x5A + 31 * x + 7 * y + 13 * p));
    }

    // The picture in the visible bytes, `salt`'s pattern in the padding.
    void Load(const Picture& picture, uint8_t salt) {
        Mark(salt);
        for (int p = 0; p < g_.planes; ++p)
            for (int y = 0; y < g_.rows[p]; ++y)
                std::memcpy(Row(p, y), picture[static_cast<std::size_t>(p)].data() +
                                           static_cast<std::size_t>(y) * g_.RowBytes(p),
                            static_cast<std::size_t>(g_.RowBytes(p)));
    }

    Picture Visible() {
        Picture picture(static_cast<std::size_t>(g_.planes));
        for (int p = 0; p < g_.planes; ++p)
            for (int y = 0; y < g_.rows[p]; ++y)
                picture[static_cast<std::size_t>(p)].insert(picture[static_cast<std::size_t>(p)].end(),
                                                            Row(p, y), Row(p, y) + g_.RowBytes(p));
        return picture;
    }

    void CheckPaddingMarked(uint8_t salt) {
        for (int p = 0; p < g_.planes; ++p)
            for (int y = 0; y < g_.rows[p]; ++y)
                for (ptrdiff_t x = g_.RowBytes(p); x < pitch_[p]; ++x)
                    FUZZ_REQUIRE(Row(p, y)[x] == Marker(salt, p, x, y),
                                 "padding byte " + std::to_string(x) + " of row " +
                                     std::to_string(y) + " of plane " + std::to_string(p) +
                                     " written");
    }

private:
    Geometry g_;
    ptrdiff_t pitch_[4] = {};
    std::vector<uint8_t> planes_[4];
};

std::string Where(int p, int x, int y) {
    return "plane " + std::to_string(p) + " sample (" + std::to_string(x) + ", " +
           std::to_string(y) + ")";
}

// Unprocessed samples as the source has them; processed ones within their range.
void CheckOutput(const Geometry& g, const engine::FilterSettings& s, const Picture& src,
                 const Picture& out) {
    const int sampleBytes = g.SampleSize();
    for (int p = 0; p < g.planes; ++p)
        for (int y = 0; y < g.rows[p]; ++y)
            for (int x = 0; x < g.width[p]; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * g.width[p] + x) * sampleBytes;
                const uint8_t* in = src[static_cast<std::size_t>(p)].data() + at;
                const uint8_t* got = out[static_cast<std::size_t>(p)].data() + at;
                const Kind kind = KindOf(*g.format, p, x);
                if (!ProcessedKind(kind, s)) {
                    FUZZ_REQUIRE(std::memcmp(in, got, static_cast<std::size_t>(sampleBytes)) == 0,
                                 Where(p, x, y) + " is not copied unchanged");
                } else if (g.samples.type == engine::SampleType::Word) {
                    uint16_t word;
                    std::memcpy(&word, got, sizeof word);
                    FUZZ_REQUIRE(word <= (1 << g.samples.bits) - 1,
                                 Where(p, x, y) + " is " + std::to_string(word) + ", beyond " +
                                     std::to_string(g.samples.bits) + " bits");
                } else if (g.samples.type == engine::SampleType::Float) {
                    float value;
                    std::memcpy(&value, got, sizeof value);
                    const bool chroma = kind == Kind::U || kind == Kind::V;
                    const float low = chroma ? -0.5f : 0.0f, high = chroma ? 0.5f : 1.0f;
                    FUZZ_REQUIRE(std::isfinite(value) && value >= low && value <= high,
                                 Where(p, x, y) + " is " + std::to_string(value) +
                                     ", outside " + std::to_string(low) + " .. " +
                                     std::to_string(high));
                }
            }
}

// Fills every buffer entry a channel of the frame's size uses with junk: nothing may depend
// on what the buffers held before.
void ScribbleBuffers(const engine::WorkingBuffers& buffers, const engine::SampleFormat& samples,
                     std::size_t pixels, uint8_t junk) {
    engine::DispatchSamples(samples, [&](auto sample) {
        using Sample = decltype(sample);
        const ChannelScratch<Sample> s = buffers.Scratch<Sample>();
        std::memset(s.channel, junk, pixels * sizeof(Sample));
        std::memset(s.order, junk ^ 0x11, pixels * sizeof(uint32_t));
        std::memset(s.label, junk ^ 0x22, pixels * sizeof(int32_t));
        std::memset(s.boundary, junk ^ 0x33, pixels);
        std::memset(s.pixelList, junk ^ 0x44, pixels * sizeof(uint32_t));
        std::memset(s.queue, junk ^ 0x55, (pixels + 1) * sizeof(uint32_t));
    });
}

// One render of the call's frames, as pass 0 or 1 lays them out; returns the destination's
// visible bytes.
Picture Render(const Call& call, const Geometry& g, const engine::FramePlan& plan,
               const engine::WorkingBuffers& buffers, const Picture& src, const Picture& seg,
               int pass) {
    const auto salt = static_cast<uint8_t>(pass == 0 ? 0x00 : 0xFF);
    Frame dst(g, call.padding[pass][0]), source(g, call.padding[pass][1]),
        segmentation(g, call.padding[pass][2]);
    dst.Mark(salt);
    source.Load(src, static_cast<uint8_t>(salt ^ 0x3C));
    segmentation.Load(seg, static_cast<uint8_t>(salt ^ 0xC3));
    Frame& regions = call.settings.useclip ? segmentation : source;

    engine::FrameRefs refs{};
    for (int p = 0; p < g.planes; ++p) {
        refs.dst[p] = {dst.Row(p, 0), dst.Pitch(p)};
        refs.src[p] = {source.Row(p, 0), source.Pitch(p)};
        refs.seg[p] = {regions.Row(p, 0), regions.Pitch(p)};
    }
    const std::vector<uint8_t> sourceBefore[4] = {source.Allocation(0), source.Allocation(1), source.Allocation(2),
                                                  source.Allocation(3)};
    const std::vector<uint8_t> regionsBefore[4] = {regions.Allocation(0), regions.Allocation(1),
                                                   regions.Allocation(2), regions.Allocation(3)};

    // A host's copy of a whole plane, asked only for planes nothing processes, whole.
    const engine::PlaneCopy hostCopy = [&](uint8_t* to, ptrdiff_t toPitch, const uint8_t* from,
                                           ptrdiff_t fromPitch, int rowBytes, int rows) {
        int p = 0;
        while (p < g.planes && refs.dst[p].data != to) ++p;
        FUZZ_REQUIRE(p < g.planes, "a plane copy into no destination plane");
        FUZZ_REQUIRE(from == refs.src[p].data && toPitch == refs.dst[p].pitch &&
                         fromPitch == refs.src[p].pitch,
                     "a plane copy of plane " + std::to_string(p) + " from elsewhere");
        FUZZ_REQUIRE(rowBytes == g.RowBytes(p) && rows == g.rows[p],
                     "a plane copy of part of plane " + std::to_string(p));
        FUZZ_REQUIRE(!ProcessedKind(KindOf(*g.format, p, 0), call.settings),
                     "a plane copy of processed plane " + std::to_string(p));
        for (int y = 0; y < rows; ++y)
            std::memcpy(to + y * toPitch, from + y * fromPitch, static_cast<std::size_t>(rowBytes));
    };

    if (pass == 0) {
        engine::RenderFrame(plan, buffers, refs);
    } else {
        const engine::PlaneCopy copy = call.hostCopy ? hostCopy : engine::PlaneCopy();
        if (call.reverseSteps)
            for (int step = plan.StepCount() - 1; step >= 0; --step)
                engine::RenderStep(plan, buffers, refs, step, copy);
        else
            engine::RenderFrame(plan, buffers, refs, copy);
    }

    dst.CheckPaddingMarked(salt);
    for (int p = 0; p < g.planes; ++p) {
        FUZZ_REQUIRE(source.Allocation(p) == sourceBefore[p], "the source frame changed");
        FUZZ_REQUIRE(regions.Allocation(p) == regionsBefore[p], "the segmentation frame changed");
    }
    return dst.Visible();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    Call call;
    call.Read(bytes);

    CheckRefusals(call);
    if (engine::FirstFailedCheck(call.input, call.settings, call.sclip, call.rules)) return 0;
    const int width = call.input.width, height = call.input.height;
    if (width > kMaxSide || height > kMaxSide) return 0;  // accepted, but too large to render here

    const Geometry g(call.input.format, width, height);
    SampleBytes sampleBytes(std::move(call.samples));
    const Picture src = MakePicture(g, call.encoding[0], sampleBytes);
    const Picture seg = MakePicture(g, call.encoding[1], sampleBytes);

    const engine::FramePlan plan(call.input.format, width, height, call.settings);
    const engine::WorkingBuffers buffers(width, height, g.samples);
    const Picture first = Render(call, g, plan, buffers, src, seg, 0);
    CheckOutput(g, call.settings, src, first);

    ScribbleBuffers(buffers, g.samples, static_cast<std::size_t>(width) * height, sampleBytes.Next());
    const Picture second = Render(call, g, plan, buffers, src, seg, 1);
    FUZZ_REQUIRE(second == first,
                 "the output depends on the pitch, the row padding, the working buffers' contents "
                 "or the order of the steps");
    return 0;
}
