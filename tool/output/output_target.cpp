#include "output_target.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <system_error>

#include "media_error.h"
#include "termination_signals.h"

namespace cli {
namespace {

// Hidden, and named for the tool, so that one left behind by SIGKILL can be told apart.
constexpr char kTemporaryPrefix[] = ".basinlift-";

// As many links in a row as the kernel itself follows before it gives up (ELOOP).
constexpr int kMaxLinksFollowed = 40;

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that writing OUTPUT in place would write: a symbolic link is followed to what it
// names, even when that does not exist yet (a dangling link), so that replacing the file
// keeps the link and a dangling link gets its target created.
std::string FollowLinks(const std::string& path, const std::string& name) {
    namespace fs = std::filesystem;
    std::string target = path;
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(target, error))) return target;
        const fs::path link = fs::read_symlink(target, error);
        if (error) media::ThrowSystemError(name, "cannot read the link", error.value());
        target = link.is_absolute() ? link.string() : DirectoryOf(target) + "/" + link.string();
    }
    media::ThrowSystemError(name, "cannot follow the link", ELOOP);
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool IsStreamTarget(const std::string& path) {
    struct stat info {};
    return path == "-" || (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode));
}

OutputTarget::OutputTarget(const std::string& path)
    : name_(path == "-" ? "standard output" : path) {
    if (path == "-") {
        stream_ = stdout;
        return;
    }
    if (IsStreamTarget(path)) {
        writePath_ = path;
        return;
    }
    target_ = FollowLinks(path, name_);
    struct stat info {};
    mode_ = stat(target_.c_str(), &info) == 0 ? (info.st_mode & 07777) : NewFileMode();

    const std::string directory = DirectoryOf(target_);
    // A name the directory cannot hold would only fail at the rename, after all the work.
    const long maxName = pathconf(directory.c_str(), _PC_NAME_MAX);
    if (maxName > 0 && FileNameOf(target_).size() > static_cast<size_t>(maxName))
        media::ThrowSystemError(name_, "cannot create", ENAMETOOLONG);
    // Short and of fixed length, so that any name the file system accepts for OUTPUT works.
    std::string pattern = directory + "/" + kTemporaryPrefix + "XXXXXX";
    TerminationSignalsBlocked blocked;
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        media::ThrowSystemError(name_, "cannot create a temporary file in " + directory, errno);
    try {
        SetTemporaryFileToRemove(pattern);
    } catch (const std::exception& e) {
        close(fd_);
        unlink(pattern.c_str());
        media::ThrowMediaError(name_, e.what());
    }
    writePath_ = pattern;
    temporary_ = true;
}

OutputTarget::~OutputTarget() {
    if (temporary_ && !committed_) RemoveTemporary();
}

void OutputTarget::RemoveTemporary() {
    owned_.reset();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    TerminationSignalsBlocked blocked;
    unlink(writePath_.c_str());
    ClearTemporaryFileToRemove();
}

std::FILE* OutputTarget::Stream() {
    if (stream_) return stream_;
    if (temporary_) {
        owned_.reset(fdopen(fd_, "wb"));
        if (!owned_) media::ThrowSystemError(name_, "cannot write", errno);
        fd_ = -1;
    } else {
        owned_ = media::OpenOutputFile(writePath_);
    }
    stream_ = owned_.get();
    return stream_;
}

void OutputTarget::Commit() {
    if (!owned_ && stream_) {  // standard output stays open
        media::FlushOutput(stream_, name_);
        return;
    }
    if (temporary_) {
        // The temporary file was made private (0600); OUTPUT gets the mode it had, or the
        // one a new file gets under the umask.
        const int fd = owned_ ? fileno(owned_.get()) : fd_;
        if (fchmod(fd, mode_) != 0) media::ThrowSystemError(name_, "cannot set permissions", errno);
    }
    if (owned_) media::CloseOutputFile(std::move(owned_), name_);
    const int unadopted = fd_;  // nothing was written through a stream: close the file as is
    fd_ = -1;
    if (unadopted >= 0 && close(unadopted) != 0)
        media::ThrowSystemError(name_, "write error", errno);
    if (!temporary_) return;
    TerminationSignalsBlocked blocked;
    if (rename(writePath_.c_str(), target_.c_str()) != 0)
        media::ThrowSystemError(name_, "cannot replace it", errno);
    committed_ = true;
    ClearTemporaryFileToRemove();
}

}  // namespace cli
