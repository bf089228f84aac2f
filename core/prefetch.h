// Hints that a cache line will soon be read or written. Only a hint: where the compiler
// offers no way to give it, nothing happens.
#pragma once

inline void Prefetch(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address, 0);
#else
    (void)address;
#endif
}

inline void PrefetchForWrite(const void* address) {
#if defined(__GNUC__)
    __builtin_prefetch(address, 1);
#else
    (void)address;
#endif
}
