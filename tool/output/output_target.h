// Where the result goes. A regular file, or a path that does not exist yet, is written to a
// temporary file beside it (".basinlift-" and six random characters) and renamed into place
// by commit(), so that a failed or interrupted run never leaves a partial OUTPUT nor spoils
// an existing one. A symbolic link is written through: its target is replaced, or created
// when the link dangles. Anything else
// (standard output, a pipe, a device) is written directly and never replaced: what was
// streamed stays streamed.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "file_io.h"

namespace cli {

// True for "-" and for existing paths that are not regular files.
bool IsStreamTarget(const std::string& path);

class OutputTarget {
public:
    // Creates the temporary file at once, so that an unusable OUTPUT (its directory
    // missing, not a directory, not writable) fails before any work. Throws MediaError.
    explicit OutputTarget(const std::string& path);
    ~OutputTarget();  // removes the temporary file unless committed
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    const std::string& Name() const { return name_; }  // for messages
    // The stream to write; opened on first use. Throws MediaError.
    std::FILE* Stream();

    // Flushes and closes (reporting write errors), then renames the temporary file into
    // place. Throws MediaError.
    void Commit();

private:
    void RemoveTemporary();

    std::string name_;
    std::string target_;     // what commit() renames onto
    std::string writePath_;  // temporary file, or the direct target
    bool temporary_ = false;
    bool committed_ = false;
    int fd_ = -1;      // of the temporary file until stream() adopts it
    mode_t mode_ = 0;  // the final file's permissions
    media::FilePtr owned_;
    std::FILE* stream_ = nullptr;
};

}  // namespace cli
