// Shared by the PNG reader and writer, which call ISA-L between loops of SSE code.
#pragma once

namespace media {

// ISA-L's AVX code returns with the upper halves of the vector registers in use. Until they
// are cleared, every SSE instruction after them pays for merging them: the writer's row
// filter ran two to four times slower after ISA-L's checksums, the reader's unfiltering twice
// as slow after its inflate. Clearing them costs one instruction.
inline void ClearUpperVectorState() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx) asm volatile("vzeroupper" ::: "memory");
#endif
}

}  // namespace media
