// The tool's exit statuses, as --help documents them.
#pragma once

namespace cli {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // refused arguments, bad input, a read or write failure
constexpr int kExitUsage = 2;
// Interrupted by signal N: kExitSignalBase + N.
constexpr int kExitSignalBase = 128;

}  // namespace cli
