// Errors found by the host's helpers. The environment turns them into the interface's
// AvisynthError (through ThrowError) at the slot the plug-in called, so that the message
// text is owned by the environment as the interface requires.
#pragma once

#include <stdexcept>

namespace standin {

struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace standin
