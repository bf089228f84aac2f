// --demo: the built-in sample picture filtered with the defaults, written as PNG.
#pragma once

#include <string>

#include "script_environment.h"

namespace cli {

// Writes input.png, output.png and comparison.png into directory (made if missing) and
// prints their paths. Throws AvisynthError, MediaError or std::exception.
void runDemo(standin::ScriptEnvironment& env, const std::string& directory);

}  // namespace cli
