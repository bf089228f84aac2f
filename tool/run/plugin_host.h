// A classic plug-in as the tool runs it with --plugin PATH: its shared library loaded at run
// time into the stand-in host, as the real host loads it, and its function called with the
// command line's arguments as host values.
#pragma once

#include <string>
#include <vector>

#include "named_arguments.h"
#include "script_environment.h"

namespace cli {

// Loads the library and returns the parameter string the function was registered with.
// Throws AvisynthError when the library cannot be loaded, std::runtime_error when it does
// not register the function.
std::string LoadFilterPlugin(standin::ScriptEnvironment& env, const std::string& path);

// The bound command-line arguments as host values, but for clips: the plug-in's clips are
// the run's frames (see frame_filter.h).
standin::NamedArguments HostArguments(const std::vector<NamedArgument>& arguments);

}  // namespace cli
