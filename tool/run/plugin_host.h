// The plug-in as the tool uses it: its shared library loaded at run time into the stand-in
// host, as the real host loads it, and its function called through the registry.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"
#include "named_arguments.h"
#include "script_environment.h"

namespace cli {

constexpr char kFilterFunction[] = "BasinLift";

// BasinLift.so in the directory of the running executable.
std::string pluginBesideExecutable();

// Loads the library and returns the parameter string the function was registered with.
// Throws AvisynthError when the library cannot be loaded, std::runtime_error when it does
// not register the function.
std::string loadFilterPlugin(standin::ScriptEnvironment& env, const std::string& path);

// The bound command-line arguments as host values; clip arguments are loaded from their
// files as INPUT is (see openClip in clips.h). sclip is left out, with a warning, unless
// useclip is true. Throws UsageError for a clip path of no known type,
// MediaError for a file that cannot be read.
standin::NamedArguments hostArguments(standin::ScriptEnvironment& env,
                                      const std::vector<NamedArgument>& arguments,
                                      PlanarOrder order);

// True when the arguments include boolean `name` set to true.
bool isSetTrue(const std::vector<NamedArgument>& arguments, const std::string& name);

// Invokes the function on input. Throws AvisynthError with the plug-in's refusal.
PClip invokeFilter(standin::ScriptEnvironment& env, const PClip& input,
                   const standin::NamedArguments& arguments);

}  // namespace cli
