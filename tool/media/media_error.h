// The one exception type of the media library: whatever an input file contains, or whatever
// the system refuses while reading or writing, ends as a MediaError whose message starts
// with the file's display name, ready to print as is.
#pragma once

#include <stdexcept>
#include <string>

namespace media {

class MediaError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws MediaError("<name>: <what>").
[[noreturn]] void throwMediaError(const std::string& name, const std::string& what);

// Throws MediaError("<name>: <what>: <strerror(errorNumber)>").
[[noreturn]] void throwSystemError(const std::string& name, const std::string& what,
                                   int errorNumber);

}  // namespace media
