// Every pixel format the engine takes, in one table: how its planes are laid out, how its
// chroma is subsampled, how many samples make a pixel, and which way up its rows are stored.
// Host adapters map their own format ids onto these entries (one line per format each) and
// hand over plane pointers in the plane order given here; the engine knows no host.
//
// Adding a pixel format: one entry here (and a case in FramePlan if its layout is new), then
// the mapping line in each adapter that takes it.
#pragma once

#include <string>
#include <vector>

namespace engine {

enum class Layout {
    PackedBgr,   // one plane of B, G, R (and A) samples per pixel
    PackedYuy2,  // one plane of Y0 U Y1 V per pixel pair
    PlanarYuv,   // planes Y, U, V (and A), the chroma planes subsampled
    PlanarRgb,   // three colour planes in the host's order (and A), each full size
    Gray,        // one plane
};

struct PixelFormat {
    const char* name;     // the engine's name for it, as tests and the tool call it
    Layout layout;
    int samplesPerPixel;  // packed formats: 3 or 4 for BGR, 2 for YUY2; planar: 1
    int chromaShiftX;     // log2 of the horizontal and vertical chroma subsampling
    int chromaShiftY;
    bool alpha;           // a last channel or plane, copied unchanged
    // Rows stored bottom-up: the first row in memory is the picture's last. The AviSynth hosts
    // store packed RGB so; every other format is stored top-down (VapourSynth's RGB too). The
    // watershed's border and tie rules make results depend on it, so whoever turns pictures
    // into frames must store them this way to get what the host gets.
    bool bottomUp;
};

inline constexpr PixelFormat kBgr24{"BGR24", Layout::PackedBgr, 3, 0, 0, false, true};
inline constexpr PixelFormat kBgr32{"BGR32", Layout::PackedBgr, 4, 0, 0, true, true};
inline constexpr PixelFormat kYuy2{"YUY2", Layout::PackedYuy2, 2, 1, 0, false, false};
inline constexpr PixelFormat kGray{"Y", Layout::Gray, 1, 0, 0, false, false};
inline constexpr PixelFormat kYuv420{"YUV420", Layout::PlanarYuv, 1, 1, 1, false, false};
inline constexpr PixelFormat kYuv422{"YUV422", Layout::PlanarYuv, 1, 1, 0, false, false};
inline constexpr PixelFormat kYuv444{"YUV444", Layout::PlanarYuv, 1, 0, 0, false, false};
inline constexpr PixelFormat kYuv411{"YUV411", Layout::PlanarYuv, 1, 2, 0, false, false};
inline constexpr PixelFormat kYuv410{"YUV410", Layout::PlanarYuv, 1, 2, 2, false, false};
inline constexpr PixelFormat kRgbPlanar{"RGBP", Layout::PlanarRgb, 1, 0, 0, false, false};
inline constexpr PixelFormat kRgbaPlanar{"RGBAP", Layout::PlanarRgb, 1, 0, 0, true, false};

inline constexpr PixelFormat kYuv440{"YUV440", Layout::PlanarYuv, 1, 0, 1, false, false};
inline constexpr PixelFormat kYuva420{"YUVA420", Layout::PlanarYuv, 1, 1, 1, true, false};
inline constexpr PixelFormat kYuva422{"YUVA422", Layout::PlanarYuv, 1, 1, 0, true, false};
inline constexpr PixelFormat kYuva444{"YUVA444", Layout::PlanarYuv, 1, 0, 0, true, false};

// Every entry above, for whoever needs to walk them all (tests).
inline constexpr const PixelFormat* kPixelFormats[] = {
    &kBgr24,  &kBgr32,     &kYuy2,       &kGray,   &kYuv420,  &kYuv422,  &kYuv444, &kYuv411,
    &kYuv410, &kRgbPlanar, &kRgbaPlanar, &kYuv440, &kYuva420, &kYuva422, &kYuva444,
};

// How samples are stored: bytes for 8 bits, 16-bit words for 9 to 16 bits (values 0 to
// 2^bits - 1), 32-bit floats.
enum class SampleType { Byte, Word, Float };

struct SampleFormat {
    SampleType type;
    int bits;  // 8 to 16 for integers, 32 for floats

    int Bytes() const { return type == SampleType::Byte ? 1 : type == SampleType::Word ? 2 : 4; }
    bool operator==(const SampleFormat& other) const {
        return type == other.type && bits == other.bits;
    }
};

// Integer samples of `bits` bits (8 to 16), stored as bytes or words.
constexpr SampleFormat IntegerSamples(int bits) {
    return {bits == 8 ? SampleType::Byte : SampleType::Word, bits};
}
inline constexpr SampleFormat kFloatSamples{SampleType::Float, 32};
inline constexpr SampleFormat kByteSamples{SampleType::Byte, 8};

// A pixel format with its samples: what a clip is.
struct VideoFormat {
    const PixelFormat* pixels;
    SampleFormat samples;
};

// RGB: sm and sh apply to every colour channel, smu and smv to none.
bool IsRgb(const PixelFormat& format);
// Whether the format has U and V (packed 4:2:2 or planar YUV), for smu and smv.
bool HasChroma(const PixelFormat& format);
// Planes of a frame: 1 for packed formats and grey, 3 for YUV and RGB, 4 with alpha.
int PlaneCount(const PixelFormat& format);
// The depths the engine takes: 8 to 16 bits, or float.
bool SupportedSamples(const SampleFormat& samples);
// "8-bit", "10-bit", "float", as texts name a depth.
std::string DepthName(const SampleFormat& samples);
// Whether width and height divide into whole chroma samples.
bool FitsSubsampling(const PixelFormat& format, int width, int height);
// The width and height of plane `plane` of a width x height frame, in samples (a packed
// plane counts its samples: BGR24 has 3 per pixel).
int PlaneWidth(const PixelFormat& format, int plane, int width);
int PlaneHeight(const PixelFormat& format, int plane, int height);

// "a, b and c": the items joined for a sentence, as every host's texts list things.
std::string JoinList(const std::vector<std::string>& items, const char* last = " and ");

}  // namespace engine
