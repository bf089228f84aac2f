#include <sstream>

#include "arguments.h"
#include "command_line.h"
#include "formats.h"

namespace cli {
namespace {

constexpr char kUsage[] = R"(Usage:
  basinlift [options] INPUT OUTPUT [name=value ...]
  basinlift --demo [DIR]

Smooths a video or a picture within its watershed regions, as the BasinLift plug-ins do
inside a frame server (the same engine is built into this program).

INPUT and OUTPUT (by extension, in any case; - is standard input or output, as video):
)";

constexpr char kArgumentNotes[] = R"(  true and false are taken in any case; with useclip=true, INPUT must be a file, not
  standard input, and sclip a file read as INPUT is (it is not opened otherwise).
)";

constexpr char kRest[] = R"(
Options (before INPUT; --name=value or --name value):
  --threads N       frames filtered at once (default: one per core, at most one per
                    frame); for a picture, its channels filtered at once, each
                    keeping its regions (6 bytes per pixel at 8 bits), each thread
                    with buffers to sort and flood in (12 more). The output is the
                    same for any N. Each worker holds its own buffers and frames,
                    about 21 bytes per pixel of 8-bit 4:2:0 video (42 MB for 1080p; 33
                    bytes per pixel, 66 MB, with --regions), and workers beyond the
                    cores add no speed
  --frames FIRST:LAST, --frames FIRST:+COUNT
                    video only: filter and write only these frames (counted from 0, LAST
                    included; a range past the end stops there), under INPUT's header
                    unchanged, so that parts filtered apart and joined (the header once)
                    are the whole run byte for byte
  --pixel-type T    with --plugin, the clip type of 4:2:0 video: i420 (default) or yv12;
                    the same output
  --regions         write what the filter sees instead of its result: each channel it
                    processes with every region painted in the mean of its values, like a
                    mosaic; channels it copies are copied. Same format and frames as
                    filtering, to judge c4 or sclip before a long run
  --boundaries      with --regions, mark boundary pixels with the extreme (0 or the
                    largest value) farther from their region's mean
  --depth 8         write a 16-bit picture at 8 bits (samples rounded to nearest)
  --progress        show progress on stderr even when it is not a terminal
  --quiet           show no progress, no summary and no list of --demo's files
  --plugin PATH     filter with a classic BasinLift plug-in loaded from PATH (a bare name
                    is a file in the current directory) in a stand-in for its host,
                    instead of the built-in engine; it takes 8-bit 4:2:0 and 4:2:2 video
                    and 8-bit pictures
  --demo [DIR]      filter a built-in sample picture with the defaults and write the
                    input, the output, both side by side and the regions (as --regions
                    shows them) as PNG into DIR (default basinlift-demo)
  --help, --version

A regular OUTPUT file is written beside itself under a temporary name and renamed into
place only when every frame succeeded, so a failure never leaves a partial OUTPUT nor
spoils an existing one; a signal that ends the run removes the temporary file (SIGKILL
cannot). Standard output, pipes and devices are written directly: an error there ends
the stream early, and a reader that leaves early (| head) ends the run quietly.

Exit status:
  0      success
  1      the filter refused the arguments, bad input, a read or write failure, or out
         of memory
  2      usage error
  128+N  ended by signal N (130 for SIGINT, 143 for SIGTERM)
)";

// `text` broken into lines of at most `width` columns, each after `indent` blanks.
std::string Wrapped(const std::string& text, size_t indent, size_t width) {
    std::istringstream words(text);
    std::string out, line;
    for (std::string word; words >> word;) {
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            out += std::string(indent, ' ') + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + std::string(indent, ' ') + line + "\n";
}

// The filter's arguments, from the table the plug-ins register them from.
std::string ArgumentLines() {
    constexpr size_t kColumn = 16, kWidth = 88;
    std::string text = "\nFilter arguments, as in a script (those left out take the filter's defaults):\n";
    for (const engine::ArgumentRule& argument : engine::kArguments) {
        if (!argument.optional) continue;
        std::string usage = std::string("  ") + argument.name;
        std::string meaning = argument.help;
        switch (argument.type) {
            case engine::ArgumentType::Int:
                usage += "=N";
                meaning += ", " + std::to_string(argument.low) + " to " + std::to_string(argument.high) +
                           (argument.scope == engine::RangeScope::NotOnAvisynthRgb ? " for YUV" : "") +
                           " (default " + std::to_string(argument.defaultValue) + ")";
                break;
            case engine::ArgumentType::Bool:
                usage += "=true|false";
                meaning += std::string(" (default ") + (argument.defaultValue ? "true" : "false") + ")";
                break;
            case engine::ArgumentType::Clip: usage += "=FILE"; break;
        }
        const std::string body = Wrapped(meaning, kColumn, kWidth);
        text += usage.size() < kColumn ? usage + body.substr(usage.size())
                                       : usage + "\n" + body;
    }
    return text + kArgumentNotes;
}

}  // namespace

std::string HelpText() {
    std::string text = kUsage;
    for (const media::MediaFormat& format : media::MediaFormats()) {
        std::string extension = format.extension;
        extension.resize(7, ' ');
        text += "  " + extension + format.help;
    }
    text += "  A picture is filtered as one frame of packed BGR (BGRA with alpha) at its depth,\n"
            "  stored bottom-up as AviSynth holds RGB. Video goes to video; a picture to any\n"
            "  picture format (one with alpha to " +
            media::PictureExtensions(" or ", true) + ").\n";
    return text + ArgumentLines() + kRest;
}

}  // namespace cli
