#include "command_line.h"

#include <climits>
#include <cstdio>

#include "header_text.h"

namespace cli {
namespace {

// Walks argv, handing out option values from "--name=value" or from the next word.
class ArgCursor {
public:
    explicit ArgCursor(const std::vector<std::string>& args) : args_(args) {}

    bool Done() const { return index_ >= args_.size(); }
    const std::string& Peek() const { return args_[index_]; }
    std::string Take() { return args_[index_++]; }

    // The value of option `name`, whose word (already taken) carried `inlineValue` after
    // '=' when hasInline.
    std::string Value(const std::string& name, bool hasInline, const std::string& inlineValue) {
        if (hasInline) return inlineValue;
        if (Done()) throw UsageError("option --" + name + " needs a value");
        return Take();
    }

private:
    const std::vector<std::string>& args_;
    size_t index_ = 0;
};

unsigned ParseThreads(const std::string& text) {
    unsigned long value = 0;
    bool ok = !text.empty() && text.size() <= 4;
    for (char c : text) ok = ok && c >= '0' && c <= '9';
    if (ok) value = std::stoul(text);
    if (!ok || value < 1 || value > kMaxThreads)
        throw UsageError("--threads takes a whole number from 1 to " + std::to_string(kMaxThreads) +
                         ", not '" + text + "'");
    return static_cast<unsigned>(value);
}

// Frame numbers stay below INT_MAX, so that LAST + 1 and FIRST + COUNT - 1 cannot overflow.
constexpr int kMaxFrameNumber = INT_MAX - 1;

FrameRange ParseFrames(const std::string& text) {
    const auto refuse = [&](const std::string& why) -> UsageError {
        return UsageError("--frames takes FIRST:LAST or FIRST:+COUNT (frames counted from 0), " +
                          why + ", not '" + text + "'");
    };
    // A whole number, or the reason it is none.
    const auto number = [&](const std::string& digits, const char* what) {
        long long parsed = 0;
        if (!media::ParseDecimal(digits, parsed)) {
            // Digits beyond what any integer holds are a number still, too large.
            const bool digitsOnly = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
            if (!digitsOnly) throw refuse(std::string(what) + " a whole number");
            parsed = LLONG_MAX;
        }
        if (parsed > kMaxFrameNumber)
            throw refuse(std::string(what) + " at most " + std::to_string(kMaxFrameNumber));
        return static_cast<int>(parsed);
    };
    const size_t colon = text.find(':');
    if (colon == std::string::npos) throw refuse("FIRST a whole number");
    FrameRange range;
    range.first = number(text.substr(0, colon), "FIRST");
    const bool counted = text.compare(colon + 1, 1, "+") == 0;
    const int end = number(text.substr(colon + (counted ? 2 : 1)), counted ? "COUNT" : "LAST");
    if (counted) {
        if (end < 1) throw refuse("COUNT at least 1");
        if (end - 1 > INT_MAX - 1 - range.first) throw refuse("FIRST + COUNT in range");
        range.last = range.first + end - 1;
    } else {
        if (end < range.first) throw refuse("LAST not before FIRST");
        range.last = end;
    }
    return range;
}

PlanarOrder ParsePixelType(const std::string& text) {
    if (text == "i420") return PlanarOrder::I420;
    if (text == "yv12") return PlanarOrder::YV12;
    throw UsageError("--pixel-type takes yv12 or i420, not '" + text + "'");
}

// "-" alone is standard input or output, and "--" ends the options.
bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-' && word != "--"; }

}  // namespace

void Warn(const std::string& message) {
    std::fprintf(stderr, "basinlift: warning: %s\n", media::Printable(message).c_str());
}

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options options;
    ArgCursor cursor(args);
    bool demo = false;
    bool help = false;
    bool version = false;
    while (!cursor.Done() && IsOption(cursor.Peek())) {
        const std::string word = cursor.Take();
        if (word == "-h") {
            help = true;
            continue;
        }
        if (word[1] != '-') throw UsageError("unknown option '" + word + "'");
        const size_t equals = word.find('=');
        const bool hasInline = equals != std::string::npos;
        const std::string name = word.substr(2, hasInline ? equals - 2 : std::string::npos);
        const std::string inlineValue = hasInline ? word.substr(equals + 1) : "";
        const auto noValue = [&] {
            if (hasInline) throw UsageError("option --" + name + " takes no value");
        };
        if (name == "help") {
            noValue();
            help = true;
        } else if (name == "version") {
            noValue();
            version = true;
        } else if (name == "progress") {
            noValue();
            options.progress = ProgressMode::Always;
        } else if (name == "quiet") {
            noValue();
            options.progress = ProgressMode::Never;
        } else if (name == "regions") {
            noValue();
            options.regions = true;
        } else if (name == "boundaries") {
            noValue();
            options.markBoundaries = true;
        } else if (name == "depth") {
            const std::string depth = cursor.Value(name, hasInline, inlineValue);
            if (depth != "8") throw UsageError("--depth takes 8 (pictures at their own depth need no option), not '" + depth + "'");
            options.eightBitPictures = true;
        } else if (name == "threads") {
            options.threads = ParseThreads(cursor.Value(name, hasInline, inlineValue));
        } else if (name == "frames") {
            options.frames = ParseFrames(cursor.Value(name, hasInline, inlineValue));
        } else if (name == "pixel-type") {
            options.planarOrder = ParsePixelType(cursor.Value(name, hasInline, inlineValue));
        } else if (name == "plugin") {
            options.pluginPath = cursor.Value(name, hasInline, inlineValue);
            if (options.pluginPath.empty()) throw UsageError("--plugin needs a path");
            // A path, as every other argument is: the loader would look a bare name up on
            // the system's library path instead of in the current directory.
            if (options.pluginPath.find('/') == std::string::npos)
                options.pluginPath = "./" + options.pluginPath;
        } else if (name == "demo") {
            demo = true;
            // DIR is optional: given inline, or as the next word.
            if (hasInline)
                options.demoDirectory = inlineValue;
            else if (!cursor.Done() && !IsOption(cursor.Peek()))
                options.demoDirectory = cursor.Take();
            if (options.demoDirectory.empty()) throw UsageError("--demo needs a directory name");
            // "-" is standard output everywhere else; four pictures cannot go there.
            if (options.demoDirectory == "-")
                throw UsageError("--demo writes four pictures into a directory, not to '-'");
        } else {
            throw UsageError("unknown option '" + word + "'");
        }
    }
    if (!cursor.Done() && cursor.Peek() == "--") cursor.Take();

    if (help || version) {
        options.mode = help ? Mode::Help : Mode::Version;
        return options;
    }
    if (options.markBoundaries && !options.regions)
        throw UsageError("--boundaries marks boundaries in the regions view: add --regions");
    if (demo) {
        if (!cursor.Done())
            throw UsageError("--demo takes no INPUT or OUTPUT ('" + cursor.Peek() + "')");
        options.mode = Mode::Demo;
        return options;
    }
    if (cursor.Done()) throw UsageError("INPUT and OUTPUT are missing");
    options.input = cursor.Take();
    if (cursor.Done()) throw UsageError("OUTPUT is missing");
    options.output = cursor.Take();
    while (!cursor.Done()) {
        const std::string word = cursor.Take();
        if (IsOption(word))
            throw UsageError("option '" + word + "' after INPUT and OUTPUT; options come first");
        options.argumentWords.push_back(word);
    }
    return options;
}

}  // namespace cli
