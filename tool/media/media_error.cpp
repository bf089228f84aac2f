#include "media_error.h"

#include <cstring>

namespace media {

void throwMediaError(const std::string& name, const std::string& what) {
    throw MediaError(name + ": " + what);
}

void throwSystemError(const std::string& name, const std::string& what, int errorNumber) {
    throw MediaError(name + ": " + what + ": " + std::strerror(errorNumber), errorNumber);
}

}  // namespace media
