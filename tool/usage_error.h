// A command line that cannot be run as given. main prints it with a pointer to --help and
// exits with the usage status.
#pragma once

#include <stdexcept>

namespace cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace cli
