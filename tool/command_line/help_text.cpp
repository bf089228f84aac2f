#include "command_line.h"
#include "formats.h"

namespace cli {
namespace {

constexpr char kUsage[] = R"(Usage:
  basinlift [options] INPUT OUTPUT [name=value ...]
  basinlift --demo [DIR]

Smooths a video or a picture within its watershed regions with the BasinLift plug-in,
loaded at run time from BasinLift.so beside this program.

INPUT and OUTPUT (by extension, in any case; - is standard input or output, as video):
)";

constexpr char kRest[] = R"(
Filter arguments, as in a script (those left out take the plug-in's defaults):
  sh=N          pixels on region boundaries scaled by (100 + N) percent, -10 to 10
                (default -2)
  sm=N          smoothing of RGB or Y, 0 to 10 (default 2)
  smu=N smv=N   smoothing of U and V, 0 to 10 (default 0: copied)
  c4=true|false 4-connected regions; false: 8-connected (default true); true and false
                in any case
  useclip=true|false
                segment another clip's picture instead of INPUT's (default false);
                INPUT must then be a file, not standard input
  sclip=FILE    that clip: a file read as INPUT is; not opened without useclip=true

Options (before INPUT; --name=value or --name value):
  --threads N       frames filtered at once (default: one per core, at most one per
                    frame); the output is the same for any N. Each worker holds its own
                    filter and frames, about 22 bytes per pixel (20 MB for 720p, 45 MB
                    for 1080p), and workers beyond the cores add no speed
  --frames FIRST:LAST, --frames FIRST:+COUNT
                    video only: filter and write only these frames (counted from 0, LAST
                    included; a range past the end stops there), under INPUT's header
                    unchanged, so that parts filtered apart and joined (the header once)
                    are the whole run byte for byte
  --pixel-type T    the clip type of 4:2:0 video: i420 (default) or yv12; same output
  --progress        show progress on stderr even when it is not a terminal
  --quiet           show no progress, no summary and no list of --demo's files
  --plugin PATH     load the plug-in from PATH (a bare name is a file in the current
                    directory)
  --demo [DIR]      filter a built-in sample picture with the defaults and write the
                    input, the output and both side by side as PNG into DIR
                    (default basinlift-demo)
  --help, --version

A regular OUTPUT file is written beside itself under a temporary name and renamed into
place only when every frame succeeded, so a failure never leaves a partial OUTPUT nor
spoils an existing one; a signal that ends the run removes the temporary file (SIGKILL
cannot). Standard output, pipes and devices are written directly: an error there ends
the stream early, and a reader that leaves early (| head) ends the run quietly.

Exit status:
  0      success
  1      the plug-in refused the arguments, bad input, a read or write failure, or out
         of memory
  2      usage error
  128+N  ended by signal N (130 for SIGINT, 143 for SIGTERM)
)";

}  // namespace

std::string helpText() {
    std::string text = kUsage;
    for (const media::MediaFormat& format : media::mediaFormats()) {
        std::string extension = format.extension;
        extension.resize(7, ' ');
        text += "  " + extension + format.help;
    }
    text += "  A picture is filtered as one frame of BGR24, or BGR32 when it has alpha. Video\n"
            "  goes to video; a picture to any picture format (one with alpha to " +
            media::pictureExtensions(" or ", true) + ").\n";
    return text + kRest;
}

}  // namespace cli
