#include "termination_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "command_line.h"

namespace cli {
namespace {

// The signals whose default action is to end the process, but for those that report a
// fault of the program itself. Real-time signals end it too; they are added at run time.
constexpr int kTerminationSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGUSR1,
                                       SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
                                       SIGIO,   SIGPWR,  SIGSTKFLT};

// Written only with the signals blocked and no other thread running; read by the handler.
char temporaryPath[8192];
volatile sig_atomic_t haveTemporaryPath = 0;
// A progress line on stderr waits for its end; the shell's prompt would follow it.
volatile sig_atomic_t lineOpen = 0;

extern "C" void OnTerminationSignal(int signalNumber) {
    if (haveTemporaryPath) unlink(temporaryPath);
    if (lineOpen) {
        const ssize_t ignored = write(STDERR_FILENO, "\n", 1);
        (void)ignored;
    }
    _exit(kExitSignalBase + signalNumber);
}

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kTerminationSignals) sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(&set, s);
    return set;
}

}  // namespace

void InstallTerminationHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    action.sa_mask = TerminationSet();  // one handler at a time
    for (int s = 1; s < NSIG; ++s) {
        if (sigismember(&action.sa_mask, s) != 1) continue;
        // A signal ignored on entry stays ignored, as nohup and shells that start
        // background jobs expect.
        struct sigaction inherited {};
        if (sigaction(s, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

void SetTemporaryFileToRemove(const std::string& path) {
    if (path.size() >= sizeof temporaryPath) throw std::length_error("the output path is too long");
    haveTemporaryPath = 0;
    std::memcpy(temporaryPath, path.c_str(), path.size() + 1);
    haveTemporaryPath = 1;
}

void ClearTemporaryFileToRemove() { haveTemporaryPath = 0; }

void SetLineOpenOnStandardError(bool open) { lineOpen = open ? 1 : 0; }

TerminationSignalsBlocked::TerminationSignalsBlocked() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

TerminationSignalsBlocked::~TerminationSignalsBlocked() {
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace cli
