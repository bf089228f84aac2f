// basinlift: runs the BasinLift filter over YUV4MPEG2 video or a picture, outside any frame
// server (or, with --plugin, a classic plug-in in a stand-in host). Every failure ends in one message on stderr and an exit status (see
// command_line.h and --help).
#include <malloc.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "formats.h"
#include "header_text.h"
#include "media_error.h"
#include "output_target.h"
#include "arguments.h"
#include "plugin_host.h"
#include "runs.h"
#include "termination_signals.h"

namespace cli {
namespace {

const media::MediaFormat& FormatOrUsageError(const std::string& path) {
    try {
        return media::MediaFormatOf(path);
    } catch (const media::MediaError& e) {
        throw UsageError(e.what());
    }
}

bool HasExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot != std::string::npos &&
           (path.rfind('/') == std::string::npos || dot > path.rfind('/'));
}

// OUTPUT's type: by extension; a pipe or device without one (/dev/null) takes INPUT's.
const media::MediaFormat& OutputFormatFor(const Options& options,
                                          const media::MediaFormat& input) {
    const bool byExtension =
        options.output == "-" || HasExtension(options.output) || !IsStreamTarget(options.output);
    const media::MediaFormat& output = byExtension ? FormatOrUsageError(options.output) : input;
    if (input.isVideo != output.isVideo)
        throw UsageError(input.isVideo ? "video goes to video: OUTPUT must be .y4m or -"
                                       : "a picture goes to a picture: OUTPUT must be " +
                                             media::PictureExtensions());
    return output;
}

// A message of the host or a plug-in, copied out of the environment that owns its text.
struct HostMessage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void RunFiltering(const Options& options, standin::ScriptEnvironment* plugin) {
    if (options.mode == Mode::Demo) {
        RunDemo(options.demoDirectory, options.progress == ProgressMode::Never);
        return;
    }
    const media::MediaFormat& inputFormat = FormatOrUsageError(options.input);
    if (options.frames && !inputFormat.isVideo)
        throw UsageError("--frames takes frames of a video; INPUT is a picture");
    if (options.eightBitPictures && inputFormat.isVideo)
        throw UsageError("--depth 8 writes pictures at 8 bits; video keeps its depth");
    const media::MediaFormat& outputFormat = OutputFormatFor(options, inputFormat);
    // The arguments bind against the signature of the function that runs them: the engine's
    // own, or the one the plug-in registered.
    const std::string params =
        plugin ? LoadFilterPlugin(*plugin, options.pluginPath) : engine::kAvisynthSignature;
    const std::vector<NamedArgument> arguments = BindNamedArguments(options.argumentWords, params);
    // A stream is read once, in order: it cannot also be the segmentation clip's frames.
    if (options.input == "-" && SettingsOf(arguments).useclip)
        throw UsageError("useclip=true needs INPUT to be a file, not standard input");
    const Run run{options, arguments, outputFormat, plugin};
    if (inputFormat.isVideo)
        RunVideo(run);
    else
        RunPicture(run);
}

void RunTool(const Options& options) {
    if (options.pluginPath.empty()) {
        RunFiltering(options, nullptr);
        return;
    }
    standin::ScriptEnvironment env;
    env.FillNewFrames(false);  // the plug-in writes every byte it hands back
    try {
        RunFiltering(options, &env);
    } catch (const AvisynthError& e) {
        throw HostMessage(e.msg);
    }
}

// Messages quote file names, command-line words and file contents: whatever a terminal
// would take for a control sequence is escaped (header_text.h), once, here.
int ReportUsageError(const std::string& message) {
    std::fprintf(stderr, "basinlift: %s\nTry 'basinlift --help' for more information.\n",
                 media::Printable(message).c_str());
    return kExitUsage;
}

int Failure(const std::string& message) {
    std::fprintf(stderr, "%s\n", media::Printable(message).c_str());
    return kExitFailure;
}

// Why a text printed whole failed. stdio says so only at the write that failed: a text
// longer than the buffer (--help) fails while it is printed, and the final flush then has
// nothing left to fail with.
int printError = 0;

void Print(const char* text) {
    if (std::fputs(text, stdout) == EOF && printError == 0) printError = errno;
}

// What was printed must have arrived: a failed write (--help > /dev/full) is a failure like
// any other, and a reader that went away early ends the run quietly, as for OUTPUT.
int CloseStandardOutput(int status) {
    const bool failed = std::ferror(stdout) != 0;
    if (status != kExitSuccess) {  // one message per run: the failure already said
        std::fclose(stdout);
        return status;
    }
    errno = 0;
    if (std::fclose(stdout) == 0 && !failed) return status;
    const int error = errno != 0 ? errno : printError != 0 ? printError : EIO;
    if (error == EPIPE) return kExitFailure;
    std::fprintf(stderr, "basinlift: standard output: write error: %s\n", std::strerror(error));
    return kExitFailure;
}

int RunCommandLine(const std::vector<std::string>& args) {
    try {
        const Options options = ParseCommandLine(args);
        if (options.mode == Mode::Help) {
            Print(HelpText().c_str());
            return kExitSuccess;
        }
        if (options.mode == Mode::Version) {
            Print(kVersionText);
            return kExitSuccess;
        }
        RunTool(options);
        return kExitSuccess;
    } catch (const UsageError& e) {
        return ReportUsageError(e.what());
    } catch (const HostMessage& e) {
        return Failure(e.what());  // the plug-in's (or host's) own words, unchanged
    } catch (const FilterRefusal& e) {
        return Failure(e.what());  // the filter's own words, as the plug-ins refuse
    } catch (const std::bad_alloc&) {
        // One message for one cause, wherever in the tool memory ran out.
        return Failure("basinlift: out of memory");
    } catch (const OutOfMemory& e) {
        return Failure(std::string("basinlift: ") + e.what());
    } catch (const media::MediaError& e) {
        // `head` and the like close the pipe once they have what they want: not an error
        // worth a message, though the output did end early.
        if (e.SystemError() == EPIPE) return kExitFailure;
        return Failure(e.what());
    } catch (const std::exception& e) {
        return Failure(e.what());
    }
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
    // Every frame is a fresh multi-megabyte allocation, freed soon after. Kept in the heap
    // rather than handed back to the system, its pages need not be faulted in again for the
    // next frame, which would otherwise cost about as much as reading the frame.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    cli::InstallTerminationHandlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int status = cli::RunCommandLine(args);
    return cli::CloseStandardOutput(status);
}
