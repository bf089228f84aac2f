// Functions registered by plug-ins through AddFunction.
#pragma once

#include <avisynth.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "parameter_list.h"

namespace standin {

struct RegisteredFunction {
    std::string name;
    std::string params;
    ApplyFunc apply = nullptr;
    void* userData = nullptr;
};

struct FunctionEntry {
    RegisteredFunction function;
    std::vector<Parameter> parameters;
};

class FunctionRegistry {
public:
    // Registering a name again (in any case) replaces the earlier entry in its place: the
    // host may load, unload and reload a plug-in, which then registers everything anew.
    // Throws HostError for a bad name, parameter string or function pointer.
    void Add(const char* name, const char* params, ApplyFunc apply, void* userData);

    std::optional<FunctionEntry> Find(const std::string& name) const;
    std::vector<RegisteredFunction> All() const;  // in order of first registration

private:
    mutable std::mutex mutex_;
    std::vector<FunctionEntry> entries_;
};

}  // namespace standin
