// What --help and --version print.
#pragma once

namespace cli {

constexpr char kVersionText[] = "basinlift 1.0.0\n";
extern const char kHelpText[];

}  // namespace cli
