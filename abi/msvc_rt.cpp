// The runtime pieces that code compiled for Microsoft's ABI expects from its C++ library:
// operator new and delete (Microsoft's mangled names) and the handler of a pure virtual call.
// new and delete count the host's live allocations, so the test can tell that every host
// object the plug-in released was freed.
#include "msvc_libc.h"

static int g_hostLiveAllocations = 0;

extern "C" int HostLiveAllocations(void) { return g_hostLiveAllocations; }

static void* Allocate(size_t size) {
    void* p = malloc(size ? size : 1);
    if (!p) {
        printf("FATAL: host out of memory\n");
        abort();
    }
    ++g_hostLiveAllocations;
    return p;
}
static void Free(void* p) {
    if (!p) return;
    --g_hostLiveAllocations;
    free(p);
}

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }

extern "C" int _purecall(void) {
    printf("FATAL: pure virtual function called\n");
    abort();
}
