// The tool's options and operands, as parsed from argv.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum class Mode { Run, Help, Version, Demo };
enum class ProgressMode { Auto, Always, Never };  // Auto: when stderr is a terminal
enum class PlanarOrder { I420, YV12 };            // the clip type 4:2:0 video becomes

struct Options {
    Mode mode = Mode::Run;
    std::string input;
    std::string output;
    std::vector<std::string> argumentWords;  // name=value, bound later against the plug-in
    std::string demoDirectory = "basinlift-demo";
    unsigned threads = 0;  // 0: one per core
    ProgressMode progress = ProgressMode::Auto;
    PlanarOrder planarOrder = PlanarOrder::I420;
    std::string pluginPath;  // empty: BasinLift.so beside the executable
};

constexpr unsigned kMaxThreads = 256;

// Options come before INPUT; long options take --name=value or --name value; "--" ends
// them. --help and --version win over everything else. Throws UsageError.
Options parseCommandLine(const std::vector<std::string>& args);

}  // namespace cli
