#include "string_store.h"

#include <cstring>

namespace standin {

char* StringStore::Save(const char* s, int length) {
    if (!s) return nullptr;
    return SaveBytes(s, length < 0 ? std::strlen(s) : static_cast<size_t>(length));
}

char* StringStore::SaveBytes(const char* s, size_t size) {
    std::unique_ptr<char[]> copy(new char[size + 1]);
    std::memcpy(copy.get(), s, size);
    copy[size] = '\0';

    std::lock_guard<std::mutex> lock(mutex_);
    strings_.push_back(std::move(copy));
    return strings_.back().get();
}

}  // namespace standin
