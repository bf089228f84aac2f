// SIGINT, SIGTERM and SIGHUP end the tool at once with status 128 + the signal, removing
// the temporary output file first, so an interrupted run leaves nothing half-written
// behind. The handler only unlinks and _exits: both are async-signal-safe, and a worker
// or a read blocked on a pipe cannot delay it. SIGPIPE is ignored, so a closed output
// pipe shows up as a write error (EPIPE) that ends the run like any other.
#pragma once

#include <signal.h>

#include <string>

namespace cli {

void installTerminationHandlers();

// The temporary file the handler removes. Pass the path while no other thread is running,
// which holds wherever the tool creates or renames its temporary file.
void setTemporaryFileToRemove(const std::string& path);
void clearTemporaryFileToRemove();

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
