// The script function's arguments in one table (names, types, defaults, ranges, refusal texts,
// help), the signatures that every host registers from it, and the checks that refuse a call
// before any filter exists. A new argument is one row here plus its use in the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "pixel_formats.h"

namespace engine {

// The validated parameters of one filter: what the script gave, or the default.
struct FilterSettings {
    int sh = 0;    // boundary amplification, percent over 100, for every processed channel
    int sm = 0;    // smoothing of the RGB channels or of Y (plane 0)
    bool c4 = false;
    bool useclip = false;
    int smu = 0;   // smoothing of U
    int smv = 0;   // smoothing of V
};

enum class ArgumentType { Clip, Int, Bool };

// Where an integer's range is enforced.
enum class RangeScope {
    Always,
    // Only where the factor is used (formats with U and V) and on grey; the AviSynth hosts'
    // RGB formats take any value, as scripts written for them may pass one.
    NotOnAvisynthRgb,
};

struct ArgumentRule {
    const char* name;       // the input clip's name is used by hosts that name every argument
    ArgumentType type;
    bool optional;
    int defaultValue;       // Int and Bool (0 or 1)
    int low, high;          // accepted range of an Int
    RangeScope scope;
    const char* rangeRefusal;  // the refusal when an Int lies outside its range
    const char* help;
    int FilterSettings::*intField;    // where an Int lands
    bool FilterSettings::*boolField;  // where a Bool lands
    // True for `useclip`: hosts whose optional clips can simply be absent take the presence of
    // `sclip` as its value and do not register it.
    bool impliedBySclip;
};

// In the order of the classic signature, which is also the order of the argument array.
enum ArgumentIndex { kArgClip, kArgSh, kArgSm, kArgC4, kArgUseclip, kArgSclip, kArgSmu, kArgSmv };
constexpr int kArgumentCount = 8;

inline constexpr ArgumentRule kArguments[kArgumentCount] = {
    {"clip", ArgumentType::Clip, false, 0, 0, 0, RangeScope::Always, nullptr,
     "the clip to filter", nullptr, nullptr, false},
    {"sh", ArgumentType::Int, true, -2, -10, 10, RangeScope::Always,
     "BasinLift: RGB or Y sharpening factor sh must be between -10 and 10",
     "region boundaries of every processed channel become (100 + sh) percent of the source",
     &FilterSettings::sh, nullptr, false},
    {"sm", ArgumentType::Int, true, 2, 0, 10, RangeScope::Always,
     "BasinLift: RGB or Y smoothening factor sm must be between 0 and 10",
     "smoothing of the RGB channels or of Y; higher is stronger", &FilterSettings::sm, nullptr,
     false},
    {"c4", ArgumentType::Bool, true, 1, 0, 1, RangeScope::Always, nullptr,
     "regions are 4-connected; false: 8-connected", nullptr, &FilterSettings::c4, false},
    {"useclip", ArgumentType::Bool, true, 0, 0, 1, RangeScope::Always, nullptr,
     "find the regions on sclip and smooth the clip's own values within them", nullptr,
     &FilterSettings::useclip, true},
    {"sclip", ArgumentType::Clip, true, 0, 0, 0, RangeScope::Always, nullptr,
     "the clip to segment; same format, size and length as the clip", nullptr, nullptr, false},
    {"smu", ArgumentType::Int, true, 0, 0, 10, RangeScope::NotOnAvisynthRgb,
     "BasinLift: u smoothening factor smu must be between 0 and 10",
     "smoothing of U; 0 copies U unchanged", &FilterSettings::smu, nullptr, false},
    {"smv", ArgumentType::Int, true, 0, 0, 10, RangeScope::NotOnAvisynthRgb,
     "BasinLift: v smoothening factor smv must be between 0 and 10",
     "smoothing of V; 0 copies V unchanged", &FilterSettings::smv, nullptr, false},
};

namespace detail {
constexpr char kTypeLetter[] = {'c', 'i', 'b'};

constexpr size_t Length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

constexpr size_t AvisynthSignatureLength() {
    size_t n = 0;
    for (const ArgumentRule& argument : kArguments) n += 1 + (argument.optional ? Length(argument.name) + 2 : 0);
    return n;
}

struct AvisynthSignatureText {
    char text[AvisynthSignatureLength() + 1];
};

constexpr AvisynthSignatureText MakeAvisynthSignature() {
    AvisynthSignatureText signature{};
    size_t at = 0;
    for (const ArgumentRule& argument : kArguments) {
        if (argument.optional) {
            signature.text[at++] = '[';
            for (size_t i = 0; argument.name[i]; ++i) signature.text[at++] = argument.name[i];
            signature.text[at++] = ']';
        }
        signature.text[at++] = kTypeLetter[static_cast<int>(argument.type)];
    }
    return signature;
}
inline constexpr AvisynthSignatureText kAvisynthSignature = MakeAvisynthSignature();
}  // namespace detail

constexpr char kFunctionName[] = "BasinLift";
constexpr char kPluginDescription[] = "BasinLift  Plugin";

// Every default of the table.
FilterSettings DefaultSettings();

// One argument of a call as the host gives it: its value when the call gives it with the
// argument's type (an Int's value, a Bool as 0 or 1), nothing when it is left out (or, where
// the host's accessors do so, given with another type). Each adapter supplies one.
using ArgumentLookup = std::function<std::optional<int64_t>(int index, const ArgumentRule&)>;

// The effective settings of a call: every Int and Bool argument of the table that the lookup
// gives, the default for the others. An integer beyond int is saturated, so that it stays out
// of every range rather than wrapping into one.
FilterSettings ReadSettings(const ArgumentLookup& lookup);

// "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i": the signature in the classic host's and
// the C interface's language, built from the table when compiling, so that registration
// allocates nothing.
inline constexpr const char* kAvisynthSignature = detail::kAvisynthSignature.text;
// "clip:vnode;sh:int:opt;...": VapourSynth's, without `useclip`.
std::string VapourSynthSignature();

// What the checks need to know of a clip.
struct ClipFacts {
    VideoFormat format;  // pixels nullptr: a format the host adapter does not map
    int width;
    int height;
    int frames;
};

// The segmentation clip as the checks see it, when useclip is true.
struct SclipFacts {
    bool given;
    bool sameAsInput;  // the very same clip object as the input clip
    ClipFacts facts;
    // Same format as far as the host can tell (the classic host compares pixel types exactly).
    bool sameFormat;
};

// Refusal texts. They stay exactly as they are, blanks and typos included ("orunequal",
// "smoothening", two blanks before "values"): scripts and front ends match them.
// The unsupported-format text is a printf format whose %s takes the function's name. Texts that
// hosts tell apart by address are inline: one address in every file.
inline constexpr char kUnsupportedFormatRefusal[] =
    "%s: This color format is not supported by this old avisynth version";
// Every host says so when memory runs out, at creation or (a printf format taking the frame
// number) while filtering; formatted into a buffer of the caller's, as memory is short then.
constexpr char kOutOfMemoryRefusal[] = "BasinLift: out of memory";
constexpr char kOutOfMemoryAtFrame[] = "BasinLift: out of memory at frame %d";
// The segmentation clip differs from the clip in format, size or length. Named here so that a
// host that can say which one differs may add it.
inline constexpr char kSclipDiffersRefusal[] =
    "BasinLift: The two clips have either dissimilar color format orunequal frame dimensions "
    "or unequal number of frames";

// Which host's rules the checks follow where the hosts differ.
enum class HostRules {
    Avisynth,     // smu and smv go unchecked on RGB
    VapourSynth,  // every range is checked on every format
};

// The first refusal that the arguments meet, in a fixed order (format, size, sh, sm, RGB with
// nothing to do, the segmentation clip, smu, smv, YUV or grey with nothing to do, buffer
// size), or nullptr. A refusal may contain one %s, for the function's name.
const char* FirstFailedCheck(const ClipFacts& input, const FilterSettings& settings,
                             const SclipFacts& sclip, HostRules rules = HostRules::Avisynth);

// A refusal with its %s filled in.
std::string RefusalText(const char* refusal);

}  // namespace engine
