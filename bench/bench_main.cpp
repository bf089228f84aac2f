// Speed of the core on one noisy 1080p channel: each operation, the whole channel pass, and
// the same pass written plainly (the reference library) in the same run, for the ratio.
//
//   basinlift_bench                 verifies the core against the reference, then times both
//   basinlift_bench --single-pass   runs each core operation once, for instruction counts:
//     valgrind --tool=callgrind --toggle-collect='Watershed*' basinlift_bench --single-pass
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "basinlift_core.h"
#include "reference_pass.h"
#include "synthetic_channel.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;
constexpr int kFactor = 2;
constexpr int kSh = -2;
constexpr bool kC4 = true;

// Every working buffer of one channel pass, and its destination.
struct Buffers {
    Buffers()
        : channel(kPixels), order(kPixels), label(kPixels), boundary(kPixels),
          pixelList(kPixels), queue(kPixels + 1), dst(kPixels) {}

    ChannelScratch<uint8_t> Scratch() {
        return {channel.data(),  order.data(),     label.data(),
                boundary.data(), pixelList.data(), queue.data()};
    }
    PlaneView<uint8_t> Destination() { return {dst.data(), kWidth, 1, kWidth, kHeight}; }

    std::vector<uint8_t> channel;
    std::vector<uint32_t> order;
    std::vector<int32_t> label;
    std::vector<uint8_t> boundary;
    std::vector<uint32_t> pixelList, queue;
    std::vector<uint8_t> dst;
};

// The source channel, and the buffers of the core and of the reference, set up once.
struct Workspace {
    Workspace() : src(MakeSyntheticChannel(kWidth, kHeight)) {}

    PlaneView<const uint8_t> Source() const { return {src.data(), kWidth, 1, kWidth, kHeight}; }

    void Sort() { SortPixels(fast.Scratch(), Source(), kEightBit); }
    void Segment(bool c4) { Watershed(fast.Scratch(), kWidth, kHeight, c4); }
    // Reads the segmentation kept from the last pass, which the Watershed benchmarks leave
    // alone.
    void Enhance() {
        ChannelScratch<uint8_t> kept = fast.Scratch();
        kept.label = passLabel.data();
        kept.boundary = passBoundary.data();
        EnhanceChannel(fast.Destination(), Source(), kept, kEightBit, kFactor, kSh);
    }
    void FastPass() {
        Sort();
        Segment(kC4);
        EnhanceChannel(fast.Destination(), Source(), fast.Scratch(), kEightBit, kFactor, kSh);
    }

    void ReferenceSort() { reference::SortPixels(plain.Scratch(), Source(), kEightBit); }
    void ReferenceSegment(bool c4) { reference::Watershed(plain.Scratch(), kWidth, kHeight, c4); }
    void ReferenceEnhance() {
        reference::EnhanceChannel(plain.Destination(), Source(), plain.Scratch(), kEightBit,
                                  kFactor, kSh);
    }
    void ReferencePass() {
        ReferenceSort();
        ReferenceSegment(kC4);
        ReferenceEnhance();
    }

    std::vector<uint8_t> src;
    Buffers fast, plain;
    std::vector<int32_t> passLabel;
    std::vector<uint8_t> passBoundary;
    int32_t regions = 0;
    int64_t boundaryPixels = 0;
};

Workspace* workspace = nullptr;

// The core's watershed on the core's order must match the reference's byte for byte, for
// both connectivities; and the whole pass must produce the reference's picture, although
// the reference orders equal values differently (that order only renumbers regions).
bool AgreesWithReference(Workspace& w) {
    bool same = true;
    for (bool c4 : {false, true}) {
        w.Sort();
        w.Segment(c4);
        // The reference's watershed on the core's order: the same order gives the same labels.
        ChannelScratch<uint8_t> onFastOrder = w.plain.Scratch();
        onFastOrder.channel = w.fast.channel.data();
        onFastOrder.order = w.fast.order.data();
        reference::Watershed(onFastOrder, kWidth, kHeight, c4);
        if (w.fast.label != w.plain.label || w.fast.boundary != w.plain.boundary) {
            std::fprintf(stderr, "Watershed (c4 %d) differs from the reference\n", c4);
            same = false;
        }
    }
    w.FastPass();
    w.ReferencePass();
    if (w.fast.dst != w.plain.dst || w.fast.boundary != w.plain.boundary) {
        std::fprintf(stderr, "the channel pass differs from the reference\n");
        same = false;
    }
    return same;
}

// Pixels per second (items_per_second) and nanoseconds per pixel; for the operations that
// segment, what the segmentation found, so a change in the content shows beside the time.
void SetCounters(benchmark::State& state, bool segments) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_pixel"] = benchmark::Counter(
        static_cast<double>(kPixels),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (!segments) return;
    state.counters["regions"] = workspace->regions;
    state.counters["boundary_px"] = static_cast<double>(workspace->boundaryPixels);
}

double Fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// Other work on a shared machine only ever slows a run down, so each benchmark repeats and
// its fastest repetition ("_min") is the figure to read.
template <typename Op>
void Register(const char* name, bool segments, Op op) {
    benchmark::RegisterBenchmark(name, [op, segments](benchmark::State& state) {
        for (auto _ : state) {
            op();
            benchmark::ClobberMemory();
        }
        SetCounters(state, segments);
    })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ComputeStatistics("min", Fastest)
        ->DisplayAggregatesOnly(true);
}

// Shows each benchmark's fastest repetition only, and remembers its CPU time per iteration.
class FastestRunReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate ||
                run.aggregate_name != "min")
                continue;
            best_[run.run_name.function_name] =
                run.GetAdjustedCPUTime() *
                benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond) /
                benchmark::GetTimeUnitMultiplier(run.time_unit);
            shown.push_back(run);
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }

    double Best(const std::string& name) const {
        const auto it = best_.find(name);
        return it == best_.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> best_;
};

void PrintRatio(const FastestRunReporter& reporter, const char* what, const char* fast,
                const char* plain) {
    const double f = reporter.Best(fast), p = reporter.Best(plain);
    if (f > 0 && p > 0)
        std::printf("%-13s fast %7.2f ms, reference %7.2f ms, speed-up %.2fx\n", what, f, p,
                    p / f);
}

}  // namespace

int main(int argc, char** argv) {
    bool singlePass = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--single-pass") != 0) continue;
        singlePass = true;
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
        break;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    Workspace space;
    workspace = &space;
    if (singlePass) {  // one call each: SortPixels, Watershed c8, Watershed c4, EnhanceChannel
        space.Sort();
        space.Segment(false);
        space.Segment(true);
        space.passLabel = space.fast.label;
        space.passBoundary = space.fast.boundary;
        space.Enhance();
        return 0;
    }

    if (!AgreesWithReference(space)) {
        std::fprintf(stderr, "not benchmarking\n");
        return 2;
    }
    space.FastPass();
    space.passLabel = space.fast.label;
    space.passBoundary = space.fast.boundary;
    space.regions = *std::max_element(space.fast.label.begin(), space.fast.label.end());
    space.boundaryPixels = std::count(space.fast.boundary.begin(), space.fast.boundary.end(), 0);
    std::printf("channel %dx%d (c4): %d regions, %lld boundary pixels\n", kWidth, kHeight,
                space.regions, static_cast<long long>(space.boundaryPixels));

    Register("SortPixels", false, [] { workspace->Sort(); });
    Register("Watershed/c4", true, [] { workspace->Segment(true); });
    Register("Watershed/c8", false, [] { workspace->Segment(false); });
    Register("EnhanceChannel", false, [] { workspace->Enhance(); });
    Register("ChannelPass/fast", true, [] { workspace->FastPass(); });
    Register("Reference/SortPixels", false, [] { workspace->ReferenceSort(); });
    Register("Reference/Watershed/c4", true, [] { workspace->ReferenceSegment(true); });
    Register("Reference/EnhanceChannel", false, [] { workspace->ReferenceEnhance(); });
    Register("ChannelPass/reference", true, [] { workspace->ReferencePass(); });

    FastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    PrintRatio(reporter, "sort", "SortPixels", "Reference/SortPixels");
    PrintRatio(reporter, "watershed c4", "Watershed/c4", "Reference/Watershed/c4");
    PrintRatio(reporter, "enhance", "EnhanceChannel", "Reference/EnhanceChannel");
    PrintRatio(reporter, "channel pass", "ChannelPass/fast", "ChannelPass/reference");
    return 0;
}
