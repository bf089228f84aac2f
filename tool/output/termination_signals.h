// Every catchable signal whose default action ends the process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, ...) ends the tool at once with status 128 + the
// signal, removing the temporary output file first, so an interrupted run leaves nothing
// half-written behind. The handler only unlinks and _exits: both are async-signal-safe, and
// a worker or a read blocked on a pipe cannot delay it. SIGKILL cannot be caught, and the
// faults of a broken program (SIGSEGV, SIGABRT, ...) are left to end it as they would. A
// signal that was ignored when the tool started (nohup, background jobs) stays ignored.
//
// SIGPIPE and SIGXFSZ are ignored, so that a closed output pipe (EPIPE) and a file size
// limit (EFBIG, "File too large") show up as write errors that end the run like any other.
#pragma once

#include <signal.h>

#include <string>

namespace cli {

void InstallTerminationHandlers();

// The temporary file the handler removes. Pass the path while no other thread is running,
// which holds wherever the tool creates or renames its temporary file.
void SetTemporaryFileToRemove(const std::string& path);
void ClearTemporaryFileToRemove();

// Whether stderr holds a line without its end (the progress line), which the handler ends.
void SetLineOpenOnStandardError(bool open);

// Blocks the termination signals on this thread for its lifetime, so that creating or
// renaming the temporary file and recording it happen as one step.
class TerminationSignalsBlocked {
public:
    TerminationSignalsBlocked();
    ~TerminationSignalsBlocked();
    TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
    TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

private:
    sigset_t saved_;
};

}  // namespace cli
