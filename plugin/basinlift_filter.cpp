#include "basinlift_filter.h"

#include <new>

#include "working_buffers.h"

BasinLiftFilter::BasinLiftFilter(const PClip& child, int sh_, int sm_, bool c4_, bool useclip_,
                                 const PClip& sclip_, int smu_, int smv_, IScriptEnvironment*)
    : GenericVideoFilter(child), sh(sh_), sm(sm_), smu(smu_), smv(smv_), c4(c4_),
      useclip(useclip_), sclip(sclip_) {
    if (!WorkingBuffersFit(vi.width, vi.height)) return;
    // Uninitialised on purpose: every use fills what it reads first.
    const size_t count = static_cast<size_t>(vi.width) * static_cast<size_t>(vi.height);
    distBuf = new (std::nothrow) int32_t[count];
    boundaryBuf = new (std::nothrow) uint8_t[count];
    orderBuf = new (std::nothrow) PixelRef[count];
    labelBuf = new (std::nothrow) int32_t[count];
    if (distBuf && boundaryBuf && orderBuf && labelBuf)
        channelBuf = new (std::nothrow) uint8_t[count];
    if (!channelBuf) FreeWorkingBuffers();
}

BasinLiftFilter::~BasinLiftFilter() {
    FreeWorkingBuffers();
    ReleaseFrames();
    sclip.reset();
}

void BasinLiftFilter::FreeWorkingBuffers() {
    delete[] distBuf;
    delete[] boundaryBuf;
    delete[] orderBuf;
    delete[] labelBuf;
    delete[] channelBuf;
    distBuf = nullptr;
    boundaryBuf = nullptr;
    orderBuf = nullptr;
    labelBuf = nullptr;
    channelBuf = nullptr;
}

void BasinLiftFilter::ReleaseFrames() {
    segFrame.reset();
    dstFrame.reset();
    srcFrame.reset();
}
