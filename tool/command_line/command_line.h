// What the command line is: the tool's options and operands as parsed from argv, what
// --help and --version print, the error for a command line that cannot be run, and the
// exit statuses the help text documents.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

enum class Mode { Run, Help, Version, Demo };
enum class ProgressMode { Auto, Always, Never };  // Auto: when stderr is a terminal
enum class PlanarOrder { I420, YV12 };            // the clip type 4:2:0 video becomes

// --frames FIRST:LAST or FIRST:+COUNT: frames counted from 0, LAST included. A range that
// runs past the end of the video stops there.
struct FrameRange {
    int first = 0;
    int last = 0;
    int Count() const { return last - first + 1; }
};

struct Options {
    Mode mode = Mode::Run;
    std::string input;
    std::string output;
    std::vector<std::string> argumentWords;  // name=value, bound later against the plug-in
    std::string demoDirectory = "basinlift-demo";
    unsigned threads = 0;  // 0: one per core
    ProgressMode progress = ProgressMode::Auto;
    PlanarOrder planarOrder = PlanarOrder::I420;
    std::string pluginPath;  // empty: the engine built into the tool; else a classic plug-in
    std::optional<FrameRange> frames;  // none: every frame
    bool regions = false;  // write the regions the filter finds instead of its result
    bool markBoundaries = false;  // with regions: mark boundary pixels
    bool eightBitPictures = false;  // --depth 8: write 16-bit pictures at 8 bits
};

constexpr unsigned kMaxThreads = 256;

// A command line that cannot be run as given. main prints it with a pointer to --help and
// exits with the usage status.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Options come before INPUT; long options take --name=value or --name value; "--" ends
// them. --help and --version win over everything else. Throws UsageError.
Options ParseCommandLine(const std::vector<std::string>& args);

// Prints "basinlift: warning: <message>" on stderr; the run goes on.
void Warn(const std::string& message);

constexpr char kVersionText[] = "basinlift 1.0.0\n";
// The formats' part comes from the format table (formats.h).
std::string HelpText();

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // refused arguments, bad input, a read or write failure
constexpr int kExitUsage = 2;
// Ended by signal N: kExitSignalBase + N, as a shell reports a process killed by N.
constexpr int kExitSignalBase = 128;

}  // namespace cli
