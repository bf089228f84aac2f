#include "function_registry.h"

#include <cctype>

#include "format.h"
#include "host_error.h"

namespace standin {
namespace {

bool IsValidName(const char* name) {
    if (!name || !*name) return false;
    for (const char* c = name; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && *c != '_') return false;
    return true;
}

}  // namespace

void FunctionRegistry::Add(const char* name, const char* params, ApplyFunc apply,
                           void* userData) {
    if (!IsValidName(name))
        throw HostError(Format("AddFunction: invalid function name \"%s\"", name ? name : ""));
    if (!params) throw HostError(Format("AddFunction \"%s\": invalid parameter string", name));
    if (!apply) throw HostError(Format("AddFunction \"%s\": no function to call", name));

    FunctionEntry entry;
    try {
        entry.parameters = ParseParameters(params);
    } catch (const HostError& e) {
        throw HostError(Format("AddFunction \"%s\": %s", name, e.what()));
    }
    entry.function = RegisteredFunction{name, params, apply, userData};

    std::lock_guard<std::mutex> lock(mutex_);
    for (FunctionEntry& existing : entries_) {
        if (EqualNoCase(existing.function.name, entry.function.name)) {
            existing = std::move(entry);
            return;
        }
    }
    entries_.push_back(std::move(entry));
}

std::optional<FunctionEntry> FunctionRegistry::Find(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const FunctionEntry& entry : entries_)
        if (EqualNoCase(entry.function.name, name)) return entry;
    return std::nullopt;
}

std::vector<RegisteredFunction> FunctionRegistry::All() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RegisteredFunction> functions;
    functions.reserve(entries_.size());
    for (const FunctionEntry& entry : entries_) functions.push_back(entry.function);
    return functions;
}

}  // namespace standin
