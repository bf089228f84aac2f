// Reference counts and faults: every handle the plug-in takes is released on every path.
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "plugin_fixture.h"
#include "test_clips.h"

// Fault injection: when armed, the next allocation on this thread fails. Replacing the global
// operator new here also replaces it for the loaded plug-in.
namespace {
thread_local bool failNextAllocation = false;

void* Allocate(std::size_t size) {
    if (failNextAllocation) {
        failNextAllocation = false;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int kYv12 = VideoInfo::CS_YV12;

class LifetimeTest : public PluginTest {
protected:
    std::string GetFrameError(const PClip& clip, int n) {
        try {
            clip->GetFrame(n, &env_);
        } catch (const AvisynthError& e) {
            return e.msg;
        }
        return "";
    }
};

}  // namespace

TEST_F(LifetimeTest, RefusalsLeaveNoCountRaised) {
    const PClip input = RandomClip(8, 6, kYv12);
    const PClip other = RandomClip(8, 6, kYv12, 2);
    const size_t frames = env_.LiveFrameCount();
    EXPECT_NE(Refusal(input, {{"sh", 11}}), "");
    EXPECT_NE(Refusal(input, {{"useclip", true}}), "");
    EXPECT_NE(Refusal(input, {{"useclip", true}, {"sclip", input}}), "");
    EXPECT_NE(Refusal(input, {{"useclip", true}, {"sclip", other}}), "");
    EXPECT_NE(Refusal(input, {{"sh", 0}, {"sm", 0}}), "");
    EXPECT_NE(Refusal(input, {{"smu", 0}, {"useclip", true}, {"sclip", other}, {"sh", 40}}), "");
    EXPECT_EQ(input->RefCount(), 1);
    EXPECT_EQ(other->RefCount(), 1);
    EXPECT_EQ(env_.LiveFrameCount(), frames);
}

// A clip whose description arms the fault: creation reads it just before building the filter,
// whose allocation is then the next.
class ArmingClip final : public IClip {
public:
    explicit ArmingClip(const PClip& inner) : inner_(inner) {}
    PVideoFrame GetFrame(int n, IScriptEnvironment* env) override { return inner_->GetFrame(n, env); }
    bool AVS_STDCALL GetParity(int n) override { return inner_->GetParity(n); }
    void AVS_STDCALL GetAudio(void*, int64_t, int64_t, IScriptEnvironment*) override {}
    void AVS_STDCALL SetCacheHints(int, int) override {}
    const VideoInfo& AVS_STDCALL GetVideoInfo() override {
        failNextAllocation = true;
        return inner_->GetVideoInfo();
    }

private:
    PClip inner_;
};

TEST_F(LifetimeTest, OutOfMemoryAtCreationIsOneClearRefusal) {
    const PClip inner = RandomClip(8, 6, kYv12);
    const PClip input(new ArmingClip(inner));
    EXPECT_EQ(Refusal(input), "BasinLift: out of memory");
    failNextAllocation = false;
    EXPECT_EQ(input->RefCount(), 1);
    EXPECT_EQ(inner->RefCount(), 2);  // its own handle and the arming clip's
}

TEST_F(LifetimeTest, TheFilterHoldsBothClipsUntilItIsDropped) {
    const PClip input = RandomClip(8, 6, kYv12);
    const PClip regions = RandomClip(8, 6, kYv12);
    const size_t frames = env_.LiveFrameCount();
    {
        const PClip filtered = BasinLift(input);
        EXPECT_EQ(filtered->RefCount(), 1);
        EXPECT_EQ(input->RefCount(), 3);  // child, and segmentation clip without useclip
        const PClip segmented = BasinLift(input, {{"useclip", true}, {"sclip", regions}});
        EXPECT_EQ(regions->RefCount(), 2);
        PVideoFrame a = filtered->GetFrame(0, &env_);
        PVideoFrame b = segmented->GetFrame(0, &env_);
        EXPECT_EQ(a->RefCount(), 1);
        EXPECT_EQ(env_.LiveFrameCount(), frames + 2);  // only the results stay referenced
    }
    EXPECT_EQ(input->RefCount(), 1);
    EXPECT_EQ(regions->RefCount(), 1);
    EXPECT_EQ(env_.LiveFrameCount(), frames);
}

// A host operation that raises its error while the driver holds frames: with the real host
// our destructors would be skipped, so the filter keeps its handles where the next call and
// the destructor release them.
TEST_F(LifetimeTest, FramesHeldWhenTheHostFailsAreReleasedLater) {
    const PClip input = RandomClip(8, 6, kYv12, 3);
    const PClip regions(new HookedClip(RandomClip(8, 6, kYv12, 3), [](int n, IScriptEnvironment* e) {
        if (n == 1) e->ThrowError("sclip cannot deliver frame %d", n);
    }));
    const size_t frames = env_.LiveFrameCount();
    {
        const PClip filtered = BasinLift(input, {{"useclip", true}, {"sclip", regions}});
        EXPECT_EQ(GetFrameError(filtered, 1), "sclip cannot deliver frame 1");
        EXPECT_EQ(GetFrameError(filtered, 2), "");
        EXPECT_EQ(env_.LiveFrameCount(), frames);
        EXPECT_EQ(GetFrameError(filtered, 1), "sclip cannot deliver frame 1");
    }  // dropped right after a failure
    EXPECT_EQ(env_.LiveFrameCount(), frames);
    EXPECT_EQ(input->RefCount(), 1);
    EXPECT_EQ(regions->RefCount(), 1);
}

TEST_F(LifetimeTest, OutOfMemoryWhileSegmentingIsAHostErrorAndTheFilterStaysUsable) {
    const PClip input = RandomClip(24, 16, kYv12, 3);
    // The segmentation frame is the driver's last host call before the watershed, whose
    // queue is then the next allocation.
    auto armed = std::make_shared<std::atomic<bool>>(true);
    const PClip regions(new HookedClip(RandomClip(24, 16, kYv12, 3), nullptr,
                                       [armed](int n, IScriptEnvironment*) {
                                           if (n == 1 && armed->exchange(false))
                                               failNextAllocation = true;
                                       }));
    const PClip filtered = BasinLift(input, {{"useclip", true}, {"sclip", regions}, {"smu", 2}});
    const PClip reference =
        BasinLift(input, {{"useclip", true}, {"sclip", RandomClip(24, 16, kYv12, 3)}, {"smu", 2}});
    const size_t frames = env_.LiveFrameCount();

    EXPECT_EQ(GetFrameError(filtered, 1), "BasinLift: out of memory at frame 1");
    EXPECT_FALSE(failNextAllocation);
    EXPECT_EQ(env_.LiveFrameCount(), frames);
    for (int n : {2, 1}) {
        const PVideoFrame out = filtered->GetFrame(n, &env_);
        const PVideoFrame expected = reference->GetFrame(n, &env_);
        EXPECT_TRUE(standin::SameVisibleBytes(*out.get(), *expected.get())) << n;
    }
}
