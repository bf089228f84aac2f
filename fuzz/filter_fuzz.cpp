// The whole filter through the stand-in host, as a script would call it: the plug-in library
// is loaded by a fresh ScriptEnvironment for every input and "BasinLift" is invoked by name.
//
// The bytes choose, in this order (see Plan::Read): the pixel type (mostly one of the five,
// sometimes another value), the width and height (mostly 0 to 24, sometimes far outside),
// the number of frames, two extra pitches, the eight arguments (each present or not; the
// integers mostly near their valid ranges, sometimes anywhere), what sclip is (absent, the
// input itself, a copy, or a clip of another size, type or length), a frame number to ask
// for, and then the pixels, which repeat the rest of the input.
//
// Properties:
//   - the call is refused exactly when the documented argument rules say so, and every
//     refusal's message begins with "BasinLift:";
//   - an accepted call gives a clip of the input's geometry whose frames 0, 1 and the chosen
//     one come out with that geometry, without error;
//   - channels that no factor asks to process (BGR32 alpha; Y when sh and sm are 0; U when
//     smu is 0; V when smv is 0) come out exactly as they went in;
//   - the filter leaves its input frames as they were;
//   - the output depends only on the visible pixels: a second run with other pitches and
//     other bytes in the row padding gives the same frames;
//   - once everything is dropped, the clips are back to the one reference the target holds
//     and no frame is alive; and, through the sanitizers, nothing crashes, leaks, reads
//     out of bounds or overflows.
// Clips whose geometry the host itself refuses (odd YUY2 widths, odd 4:2:0 sizes, empty or
// huge sizes, unknown types) cannot have frames; they are described by a clip that has only
// a VideoInfo, and the filter must refuse them.
#include <dlfcn.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "frame_tools.h"
#include "fuzz_support.h"
#include "info_only_clip.h"
#include "memory_clip.h"
#include "script_environment.h"

namespace {

constexpr char kPluginPath[] = BASINLIFT_PLUGIN_PATH;

constexpr int kTypes[] = {VideoInfo::CS_BGR24, VideoInfo::CS_BGR32, VideoInfo::CS_YUY2,
                          VideoInfo::CS_YV12, VideoInfo::CS_I420};
constexpr int kMaxSide = 24;

using fuzz::Bytes;

struct ClipRecipe {
    int width = 0;
    int height = 0;
    int pixelType = 0;
    int frames = 1;
    uint32_t salt = 0;  // makes the pixels of different clips differ

    VideoInfo Info() const { return standin::MakeVideoInfo(width, height, pixelType, frames); }
};

bool IsRgb(int t) { return t == VideoInfo::CS_BGR24 || t == VideoInfo::CS_BGR32; }
bool IsYuv(int t) {
    return t == VideoInfo::CS_YUY2 || t == VideoInfo::CS_YV12 || t == VideoInfo::CS_I420;
}
bool IsPlanar420(int t) { return t == VideoInfo::CS_YV12 || t == VideoInfo::CS_I420; }

// Whether the stand-in host makes frames of this geometry (and it is small enough for us).
bool HasFrames(const ClipRecipe& c) {
    if (!IsRgb(c.pixelType) && !IsYuv(c.pixelType)) return false;
    if (c.width < 1 || c.height < 1 || c.width > kMaxSide || c.height > kMaxSide) return false;
    if (IsYuv(c.pixelType) && c.width % 2 != 0) return false;
    return !(IsPlanar420(c.pixelType) && c.height % 2 != 0);
}

enum class SclipKind { kAbsent, kSame, kCopy, kOtherSize, kOtherType, kOtherLength, kCount };

template <class T>
struct Optional {
    bool present = false;
    T value{};
};

struct Plan {
    ClipRecipe input;
    ClipRecipe sclip;  // when a clip of its own
    SclipKind sclipKind = SclipKind::kAbsent;
    int extraPitch[2] = {0, 0};
    Optional<int> sh, sm, smu, smv;
    Optional<bool> c4, useclip;
    int chosenFrame = 0;
    std::vector<uint8_t> pixels;

    void Read(Bytes& b);
    bool SclipHasOwnClip() const {
        return sclipKind != SclipKind::kAbsent && sclipKind != SclipKind::kSame;
    }
};

int PixelType(Bytes& b) {
    const uint8_t v = b.Byte();
    const int valid = kTypes[v % 5];
    if (v < 240) return valid;
    switch (v % 4) {
        case 0: return VideoInfo::CS_UNKNOWN;
        case 1: return b.Int32();
        case 2: return valid | (1 << (b.Byte() % 28));  // e.g. what newer hosts call YV16, YV24
        default: return static_cast<int>(static_cast<unsigned>(valid) & ~(1u << (b.Byte() % 32)));
    }
}

int Side(Bytes& b) {
    const uint8_t v = b.Byte();
    if (v < 240) return v % (kMaxSide + 1);
    // Far outside: each of these fails the filter's own size checks whatever the other side.
    switch (v % 4) {
        case 0: return -1 - b.Byte() % 3;
        case 1: return INT_MAX;
        case 2: return INT_MIN;
        default: return 1 << 29;  // 4 * 2^29 bytes of working buffer per row: too many
    }
}

// Mostly within [low, high], sometimes just outside, sometimes anything.
Optional<int> IntArgument(Bytes& b, int low, int high) {
    Optional<int> a;
    a.present = b.Byte() % 4 != 0;
    const uint8_t kind = b.Byte() % 8;
    const int pick = b.Byte();
    if (kind < 5)
        a.value = low + pick % (high - low + 1);
    else if (kind == 5)
        a.value = low - 1 - pick % 3;
    else if (kind == 6)
        a.value = high + 1 + pick % 3;
    else
        a.value = b.Int32();
    return a;
}

Optional<bool> BoolArgument(Bytes& b) {
    const uint8_t v = b.Byte();
    return {v % 3 != 0, (v & 4) != 0};
}

void Plan::Read(Bytes& b) {
    input.pixelType = PixelType(b);
    input.width = Side(b);
    input.height = Side(b);
    input.frames = 1 + b.Byte() % 3;
    input.salt = 0;
    extraPitch[0] = b.Byte() % 64;
    extraPitch[1] = (extraPitch[0] + 1 + b.Byte() % 63) % 64;  // always another one
    sh = IntArgument(b, -10, 10);
    sm = IntArgument(b, 0, 10);
    smu = IntArgument(b, 0, 10);
    smv = IntArgument(b, 0, 10);
    c4 = BoolArgument(b);
    useclip = BoolArgument(b);
    sclipKind = static_cast<SclipKind>(b.Byte() % static_cast<int>(SclipKind::kCount));
    sclip = input;
    sclip.salt = 7919;
    const uint8_t variant = b.Byte();
    switch (sclipKind) {
        case SclipKind::kOtherSize: {
            // By 2, so that the host can still make its frames where it could the input's.
            int& side = variant & 1 ? sclip.width : sclip.height;
            side = side >= 0 && side <= kMaxSide - 2 ? side + 2
                   : side > 2 && side <= kMaxSide    ? side - 2
                                                     : 2;
            break;
        }
        case SclipKind::kOtherType: {
            int index = variant % 5;
            if (kTypes[index] == sclip.pixelType) index = (index + 1) % 5;
            sclip.pixelType = kTypes[index];
            break;
        }
        case SclipKind::kOtherLength:
            sclip.frames = 1 + (input.frames + variant % 2) % 3;
            if (sclip.frames == input.frames) sclip.frames = input.frames % 3 + 1;
            break;
        default: break;
    }
    chosenFrame = b.Byte() % (input.frames + 4) - 2;  // out of range now and then
    pixels = b.Rest();
}

// The arguments in effect: as given, or the defaults.
struct Effective {
    int sh, sm, smu, smv;
    bool useclip;
    explicit Effective(const Plan& p)
        : sh(p.sh.present ? p.sh.value : -2),
          sm(p.sm.present ? p.sm.value : 2),
          smu(p.smu.present ? p.smu.value : 0),
          smv(p.smv.present ? p.smv.value : 0),
          useclip(p.useclip.present && p.useclip.value) {}
};

// The documented rules of the call, read independently of the plug-in's code.
bool ShouldAccept(const Plan& p) {
    const VideoInfo vi = p.input.Info();
    const int t = vi.pixel_type;
    const auto [sh, sm, smu, smv, useclip] = Effective(p);

    if (!IsRgb(t) && !IsYuv(t)) return false;
    if (vi.width < 1 || vi.height < 1) return false;
    if (IsYuv(t) && vi.width % 2 != 0) return false;
    if (IsPlanar420(t) && vi.height % 2 != 0) return false;
    if (sh < -10 || sh > 10 || sm < 0 || sm > 10) return false;
    if (IsRgb(t) && sh == 0 && sm == 0) return false;
    if (useclip) {
        if (p.sclipKind == SclipKind::kAbsent || p.sclipKind == SclipKind::kSame) return false;
        const VideoInfo si = p.sclip.Info();
        if (si.pixel_type != t || si.width != vi.width || si.height != vi.height ||
            si.num_frames != vi.num_frames)
            return false;
    }
    if (IsYuv(t)) {
        if (smu < 0 || smu > 10 || smv < 0 || smv > 10) return false;
        if (sh == 0 && sm == 0 && smu == 0 && smv == 0) return false;
    }
    // 4 bytes per pixel of working buffer, indexed by a signed 32-bit number. (Both sides
    // are positive here, and their product fits in 64 bits; 4 times it may not.)
    return int64_t{vi.width} * vi.height <= INT32_MAX / 4;
}

int PlaneIndex(int plane) { return plane == PLANAR_V ? 3 : plane; }

// The visible bytes of a plane of a frame: the fuzzer's pixels, repeated.
uint8_t PixelAt(const Plan& p, const ClipRecipe& c, int n, int plane, int x, int y) {
    const std::size_t index =
        c.salt +
        ((static_cast<std::size_t>(n) * 4 + PlaneIndex(plane)) * (kMaxSide + 1) +
         static_cast<std::size_t>(y)) *
            (4 * kMaxSide) +
        static_cast<std::size_t>(x);
    if (p.pixels.empty()) return static_cast<uint8_t>(index * 37);
    return static_cast<uint8_t>(p.pixels[index % p.pixels.size()] + index / p.pixels.size());
}

// Fills the bytes of every row between its end and the pitch, which no filter may read.
void ScribblePadding(VideoFrame& frame, uint8_t junk) {
    uint8_t* const first = frame.GetWritePtr();  // Y first: the one that checks writability
    FUZZ_REQUIRE(first != nullptr, "a new frame is not writable");
    for (const standin::PlaneView& view : standin::ReadPlanes(frame)) {
        uint8_t* data = frame.GetWritePtr(view.plane);
        for (int y = 0; y < view.height; ++y)
            for (int x = view.rowSize; x < view.pitch; ++x)
                data[static_cast<std::ptrdiff_t>(y) * view.pitch + x] =
                    static_cast<uint8_t>(junk + x * 31 + y);
    }
}

PClip MakeClip(standin::ScriptEnvironment& env, const Plan& p, const ClipRecipe& c, uint8_t junk) {
    if (!HasFrames(c)) return PClip(new standin::InfoOnlyClip(c.Info()));
    return standin::MemoryClip::Generate(env, c.Info(), [&](int n, VideoFrame& frame) {
        standin::FillFrame(frame,
                           [&](int plane, int x, int y) { return PixelAt(p, c, n, plane, x, y); });
        ScribblePadding(frame, junk);
    });
}

// The visible bytes of a frame, plane after plane, after checking it has vi's geometry.
std::vector<uint8_t> VisibleBytes(const VideoFrame& frame, const VideoInfo& vi) {
    const bool planar = IsPlanar420(vi.pixel_type);
    FUZZ_REQUIRE((frame.GetPitch(PLANAR_U) != 0) == planar, "planar frame or not");
    std::vector<uint8_t> bytes;
    for (const standin::PlaneSize& size : standin::PlaneSizes(vi)) {
        const standin::PlaneView view = standin::ReadPlane(frame, size.plane);
        FUZZ_REQUIRE(view.rowSize == size.rowSize && view.height == size.height,
                     "plane " + std::to_string(size.plane) + " is " + std::to_string(view.rowSize) +
                         "x" + std::to_string(view.height) + ", not " +
                         std::to_string(size.rowSize) + "x" + std::to_string(size.height));
        FUZZ_REQUIRE(view.pitch >= view.rowSize, "pitch below the row size");
        for (int y = 0; y < view.height; ++y) {
            const uint8_t* row = view.data + static_cast<std::ptrdiff_t>(y) * view.pitch;
            bytes.insert(bytes.end(), row, row + view.rowSize);
        }
    }
    return bytes;
}

// Whether byte x of a row of a plane belongs to a channel that the filter passes through
// unchanged: BGR32 alpha always; Y (or the Y bytes of YUY2) when sh and sm are both 0; U
// when smu is 0; V when smv is 0.
bool PassedThrough(int type, int plane, int x, const Effective& a) {
    const bool lumaOff = a.sh == 0 && a.sm == 0;
    switch (type) {
        case VideoInfo::CS_BGR32: return x % 4 == 3;
        case VideoInfo::CS_YUY2: return x % 2 == 0 ? lumaOff : x % 4 == 1 ? a.smu == 0 : a.smv == 0;
        case VideoInfo::CS_YV12:
        case VideoInfo::CS_I420:
            return plane == PLANAR_Y ? lumaOff : plane == PLANAR_U ? a.smu == 0 : a.smv == 0;
        default: return false;
    }
}

// Checks the passed-through channels of an output frame against the input frame, both as
// VisibleBytes gives them.
void CheckPassedThrough(const VideoInfo& vi, const Effective& a, const std::vector<uint8_t>& in,
                        const std::vector<uint8_t>& out) {
    std::size_t offset = 0;
    for (const standin::PlaneSize& size : standin::PlaneSizes(vi)) {
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.rowSize; ++x, ++offset)
                if (PassedThrough(vi.pixel_type, size.plane, x, a))
                    FUZZ_REQUIRE(in[offset] == out[offset], "plane " + std::to_string(size.plane) +
                                                                " byte (" + std::to_string(x) +
                                                                ", " + std::to_string(y) +
                                                                ") is not passed through");
    }
}

// Every frame of a clip that has frames, as visible bytes.
std::vector<std::vector<uint8_t>> ClipBytes(IScriptEnvironment& env, const PClip& clip,
                                            const ClipRecipe& c) {
    std::vector<std::vector<uint8_t>> frames;
    if (!HasFrames(c)) return frames;
    for (int n = 0; n < c.frames; ++n)
        frames.push_back(VisibleBytes(*clip->GetFrame(n, &env).get(), c.Info()));
    return frames;
}

struct Outcome {
    bool accepted = false;
    std::string refusal;
    std::vector<std::vector<uint8_t>> frames;  // of the accepted clip, in request order
};

Outcome Run(const Plan& p, int pass) {
    standin::ScriptEnvironment env;
    env.LoadPlugin(kPluginPath);
    env.SetExtraPitch(p.extraPitch[pass]);
    const uint8_t junk = static_cast<uint8_t>(0x5A + 0x77 * pass);

    PClip input = MakeClip(env, p, p.input, junk);
    PClip sclip = p.SclipHasOwnClip() ? MakeClip(env, p, p.sclip, junk ^ 0xFF) : PClip();
    const auto inputBefore = ClipBytes(env, input, p.input);
    const auto sclipBefore = sclip ? ClipBytes(env, sclip, p.sclip) : inputBefore;

    Outcome outcome;
    {
        standin::NamedArguments named;
        if (p.sh.present) named.emplace_back("sh", AVSValue(p.sh.value));
        if (p.sm.present) named.emplace_back("sm", AVSValue(p.sm.value));
        if (p.c4.present) named.emplace_back("c4", AVSValue(p.c4.value));
        if (p.useclip.present) named.emplace_back("useclip", AVSValue(p.useclip.value));
        if (p.sclipKind == SclipKind::kSame) named.emplace_back("sclip", AVSValue(input));
        if (sclip) named.emplace_back("sclip", AVSValue(sclip));
        if (p.smu.present) named.emplace_back("smu", AVSValue(p.smu.value));
        if (p.smv.present) named.emplace_back("smv", AVSValue(p.smv.value));

        PClip result;
        try {
            result =
                env.Invoke(std::string("BasinLift"), std::vector<AVSValue>{AVSValue(input)}, named)
                    .AsClip();
            outcome.accepted = true;
        } catch (const AvisynthError& e) {
            outcome.refusal = e.msg ? e.msg : "(null)";
        } catch (const std::exception& e) {
            fuzz::Fail(__FILE__, __LINE__, std::string("unexpected exception: ") + e.what());
        } catch (...) {
            fuzz::Fail(__FILE__, __LINE__, "unexpected non-standard exception");
        }
        named.clear();

        if (outcome.accepted) {
            FUZZ_REQUIRE(result, "an accepted call returned no clip");
            const VideoInfo& in = input->GetVideoInfo();
            const VideoInfo out = result->GetVideoInfo();
            FUZZ_REQUIRE(out.width == in.width && out.height == in.height &&
                             out.pixel_type == in.pixel_type && out.num_frames == in.num_frames,
                         "the filter changed the clip's geometry");
            FUZZ_REQUIRE(HasFrames(p.input), "accepted a clip the host cannot make frames of");
            for (const int n : {0, 1, p.chosenFrame}) {
                try {
                    const PVideoFrame frame = result->GetFrame(n, &env);
                    FUZZ_REQUIRE(frame, "no frame " + std::to_string(n));
                    outcome.frames.push_back(VisibleBytes(*frame.get(), out));
                    const int source = n < 0 ? 0 : n >= in.num_frames ? in.num_frames - 1 : n;
                    CheckPassedThrough(out, Effective(p),
                                       inputBefore[static_cast<std::size_t>(source)],
                                       outcome.frames.back());
                } catch (const AvisynthError& e) {
                    fuzz::Fail(__FILE__, __LINE__,
                               "frame " + std::to_string(n) + " failed: " + (e.msg ? e.msg : ""));
                }
            }
        }
        result.reset();
    }

    FUZZ_REQUIRE(ClipBytes(env, input, p.input) == inputBefore, "the filter changed its input");
    if (sclip)
        FUZZ_REQUIRE(ClipBytes(env, sclip, p.sclip) == sclipBefore, "the filter changed sclip");
    FUZZ_REQUIRE(input->RefCount() == 1,
                 "input clip holds " + std::to_string(input->RefCount()) + " references");
    if (sclip)
        FUZZ_REQUIRE(sclip->RefCount() == 1,
                     "sclip holds " + std::to_string(sclip->RefCount()) + " references");
    input.reset();
    sclip.reset();
    FUZZ_REQUIRE(env.LiveFrameCount() == 0,
                 std::to_string(env.LiveFrameCount()) + " frames still alive");
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Kept open for the whole run, so that the per-input environments, which open and close
    // the library, never unload it: its code and its coverage counters stay in place.
    if (!dlopen(kPluginPath, RTLD_NOW | RTLD_NODELETE)) {
        std::fprintf(stderr, "cannot load %s: %s\n", kPluginPath, dlerror());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    Plan plan;
    plan.Read(bytes);

    const Outcome first = Run(plan, 0);
    const bool expected = ShouldAccept(plan);
    FUZZ_REQUIRE(first.accepted == expected,
                 expected ? "refused a valid call: " + first.refusal : "accepted an invalid call");
    if (!first.accepted) {
        FUZZ_REQUIRE(first.refusal.rfind("BasinLift:", 0) == 0,
                     "refusal without the filter's name: " + first.refusal);
        return 0;
    }
    const Outcome second = Run(plan, 1);
    FUZZ_REQUIRE(second.accepted, "accepted once, refused with other pitches: " + second.refusal);
    FUZZ_REQUIRE(second.frames == first.frames,
                 "the output depends on the pitch or on bytes outside the picture");
    return 0;
}
