#include "media_error.h"

#include <cstring>

namespace media {

void ThrowMediaError(const std::string& name, const std::string& what) {
    throw MediaError(name + ": " + what);
}

void ThrowSystemError(const std::string& name, const std::string& what, int errorNumber) {
    throw MediaError(name + ": " + what + ": " + std::strerror(errorNumber), errorNumber);
}

}  // namespace media
