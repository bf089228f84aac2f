// Linked into the conformance test on the plug-in's side (GCC's ABI): replaces the global
// operator new and delete of the plug-in's code with counting ones, so that the test host
// can tell that the plug-in freed every object it made once the last reference went.
#include <cstdlib>
#include <new>

namespace {
int g_pluginLiveAllocations = 0;

void* Allocate(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p) ++g_pluginLiveAllocations;
    return p;
}
void Free(void* p) {
    if (!p) return;
    --g_pluginLiveAllocations;
    std::free(p);
}
}  // namespace

extern "C" int PluginLiveAllocations(void) { return g_pluginLiveAllocations; }

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
