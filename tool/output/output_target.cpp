#include "output_target.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <exception>

#include "media_error.h"
#include "termination_signals.h"

namespace cli {
namespace {

// Replacing a symbolic link's target keeps the link, as writing the file in place would.
std::string resolveLink(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool isStreamTarget(const std::string& path) {
    struct stat info {};
    return path == "-" || (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode));
}

OutputTarget::OutputTarget(const std::string& path)
    : name_(path == "-" ? "standard output" : path) {
    if (path == "-") {
        stream_ = stdout;
        return;
    }
    if (isStreamTarget(path)) {
        writePath_ = path;
        return;
    }
    target_ = resolveLink(path);
    struct stat info {};
    mode_ = stat(target_.c_str(), &info) == 0 ? (info.st_mode & 07777) : newFileMode();

    const std::string directory = directoryOf(target_);
    std::string pattern = directory + "/." + fileNameOf(target_) + ".basinlift-XXXXXX";
    TerminationSignalsBlocked blocked;
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        media::throwSystemError(name_, "cannot create a temporary file in " + directory, errno);
    try {
        setTemporaryFileToRemove(pattern);
    } catch (const std::exception& e) {
        close(fd_);
        unlink(pattern.c_str());
        media::throwMediaError(name_, e.what());
    }
    writePath_ = pattern;
    temporary_ = true;
}

OutputTarget::~OutputTarget() {
    if (temporary_ && !committed_) removeTemporary();
}

void OutputTarget::removeTemporary() {
    owned_.reset();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    TerminationSignalsBlocked blocked;
    unlink(writePath_.c_str());
    clearTemporaryFileToRemove();
}

std::FILE* OutputTarget::stream() {
    if (stream_) return stream_;
    if (temporary_) {
        owned_.reset(fdopen(fd_, "wb"));
        if (!owned_) media::throwSystemError(name_, "cannot write", errno);
        fd_ = -1;
    } else {
        owned_ = media::openOutputFile(writePath_);
    }
    stream_ = owned_.get();
    return stream_;
}

void OutputTarget::commit() {
    if (!owned_ && stream_) {  // standard output stays open
        media::flushOutput(stream_, name_);
        return;
    }
    if (temporary_) {
        // The temporary file was made private (0600); OUTPUT gets the mode it had, or the
        // one a new file gets under the umask.
        const int fd = owned_ ? fileno(owned_.get()) : fd_;
        if (fchmod(fd, mode_) != 0) media::throwSystemError(name_, "cannot set permissions", errno);
    }
    if (owned_) media::closeOutputFile(std::move(owned_), name_);
    const int unadopted = fd_;  // nothing was written through a stream: close the file as is
    fd_ = -1;
    if (unadopted >= 0 && close(unadopted) != 0)
        media::throwSystemError(name_, "write error", errno);
    if (!temporary_) return;
    TerminationSignalsBlocked blocked;
    if (rename(writePath_.c_str(), target_.c_str()) != 0)
        media::throwSystemError(name_, "cannot replace it", errno);
    committed_ = true;
    clearTemporaryFileToRemove();
}

}  // namespace cli
