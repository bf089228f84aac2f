// Strings the environment hands out (SaveString, error texts, string arguments): each copy
// stays valid until the store is destroyed, as plug-ins may keep the pointers.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

class StringStore {
public:
    // Copies `length` bytes of s, or up to its terminator when length is negative; the copy
    // is always terminated. Returns nullptr for a null s.
    char* Save(const char* s, int length);
    char* Save(const std::string& s) { return SaveBytes(s.data(), s.size()); }

private:
    char* SaveBytes(const char* s, size_t size);

    std::mutex mutex_;
    std::vector<std::unique_ptr<char[]>> strings_;
};

}  // namespace standin
