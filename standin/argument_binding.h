// Binding a call's arguments to a registered function's parameters, as the host does before
// calling the function: one value per parameter, in signature order.
#pragma once

#include <avisynth.h>

#include <string>
#include <utility>
#include <vector>

#include "function_registry.h"

namespace standin {

using NamedArguments = std::vector<std::pair<std::string, AVSValue>>;

// Positional arguments fill parameters from the first on; named ones fill "[name]"
// parameters. Omitted optional parameters stay undefined; an int passed for a float
// parameter becomes a float. Throws HostError with the host's script error otherwise.
// Parameters with * or + are not bound by the stand-in host and always throw.
std::vector<AVSValue> BindArguments(const FunctionEntry& function,
                                    const std::vector<AVSValue>& positional,
                                    const NamedArguments& named);

}  // namespace standin
