// The one exception type of the media library: whatever an input file contains, or whatever
// the system refuses while reading or writing, ends as a MediaError whose message starts
// with the file's display name, ready to print as is.
#pragma once

#include <stdexcept>
#include <string>

namespace media {

class MediaError : public std::runtime_error {
public:
    explicit MediaError(const std::string& message, int systemError = 0)
        : std::runtime_error(message), systemError_(systemError) {}
    // The errno of the call that failed (EPIPE for a reader that went away), or 0 when the
    // file's contents are at fault.
    int SystemError() const { return systemError_; }

private:
    int systemError_;
};

// Throws MediaError("<name>: <what>").
[[noreturn]] void ThrowMediaError(const std::string& name, const std::string& what);

// Throws MediaError("<name>: <what>: <strerror(errorNumber)>").
[[noreturn]] void ThrowSystemError(const std::string& name, const std::string& what,
                                   int errorNumber);

}  // namespace media
