// Speed of the core on one noisy 1080p channel: each operation, the whole channel pass, and
// the same pass written plainly (baseline_pass.cpp) for comparison.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "baseline_pass.h"
#include "basinlift_core.h"
#include "synthetic_channel.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFactor = 2;
constexpr int kSh = -2;
constexpr bool kC4 = true;

// The source channel and every buffer the core works in, set up once.
struct Workspace {
    Workspace()
        : src(MakeSyntheticChannel(kWidth, kHeight)), dst(src.size()), channel(src.size()),
          order(src.size()), label(src.size()), dist(src.size()), boundary(src.size()),
          baseline(kWidth, kHeight), baselineDst(src.size()) {}

    void Sort() {
        SortPixels(channel.data(), kWidth, src.data(), kWidth, 1, kWidth, kHeight, order.data());
    }
    void Segment(bool c4) {
        Watershed(order.data(), channel.data(), label.data(), dist.data(), boundary.data(),
                  kHeight, kWidth, c4);
    }
    void Enhance(const std::vector<int32_t>& labels, const std::vector<uint8_t>& flags) {
        EnhanceChannel(dst.data(), kWidth, src.data(), kWidth, 1, kWidth, kHeight, channel.data(),
                       labels.data(), flags.data(), kWidth, kFactor, kSh);
    }
    void FastPass() {
        Sort();
        Segment(kC4);
        Enhance(label, boundary);
    }
    void BaselinePass() {
        BaselineSort(baseline, src.data(), kWidth, 1);
        BaselineWatershed(baseline, kC4);
        BaselineEnhance(baseline, baselineDst.data(), kWidth, src.data(), kWidth, 1, kFactor, kSh);
    }

    std::vector<uint8_t> src, dst, channel;
    std::vector<PixelRef> order;
    std::vector<int32_t> label, dist;
    std::vector<uint8_t> boundary;
    // The pass's segmentation, kept apart from what the Watershed benchmarks overwrite.
    std::vector<int32_t> passLabel;
    std::vector<uint8_t> passBoundary;
    BaselineBuffers baseline;
    std::vector<uint8_t> baselineDst;
};

Workspace* workspace = nullptr;

void CountPixels(benchmark::State& state) {
    const double pixels = static_cast<double>(kWidth) * kHeight;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(pixels));
    state.counters["per_pixel"] = benchmark::Counter(
        pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

double Fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// Other work on a shared machine only ever slows a run down, so each benchmark repeats and
// its fastest repetition ("_min") is the figure to read.
template <typename Op>
void Register(const char* name, Op op) {
    benchmark::RegisterBenchmark(name, [op](benchmark::State& state) {
        for (auto _ : state) {
            op();
            benchmark::ClobberMemory();
        }
        CountPixels(state);
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    Workspace space;
    workspace = &space;
    space.FastPass();
    space.BaselinePass();
    if (space.dst != space.baselineDst || space.boundary != space.baseline.boundary) {
        std::fprintf(stderr, "the fast pass and the baseline disagree; not benchmarking\n");
        return 2;
    }
    space.passLabel = space.label;
    space.passBoundary = space.boundary;
    const int32_t regions = *std::max_element(space.label.begin(), space.label.end());
    std::printf("channel %dx%d, %d regions, %ld boundary pixels\n", kWidth, kHeight, regions,
                static_cast<long>(std::count(space.boundary.begin(), space.boundary.end(), 0)));

    Register("SortPixels", [] { workspace->Sort(); });
    Register("Watershed/c4", [] { workspace->Segment(true); });
    Register("Watershed/c8", [] { workspace->Segment(false); });
    Register("EnhanceChannel",
             [] { workspace->Enhance(workspace->passLabel, workspace->passBoundary); });
    Register("ChannelPass/fast", [] { workspace->FastPass(); });
    Register("Baseline/Sort",
             [] { BaselineSort(workspace->baseline, workspace->src.data(), kWidth, 1); });
    Register("Baseline/Watershed", [] { BaselineWatershed(workspace->baseline, kC4); });
    Register("Baseline/Enhance", [] {
        BaselineEnhance(workspace->baseline, workspace->baselineDst.data(), kWidth,
                        workspace->src.data(), kWidth, 1, kFactor, kSh);
    });
    Register("ChannelPass/baseline", [] { workspace->BaselinePass(); });

    FastestRunReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double fast = reporter.Best("ChannelPass/fast");
    const double baseline = reporter.Best("ChannelPass/baseline");
    if (fast > 0 && baseline > 0)
        std::printf("channel pass: fast %.2f ms, baseline %.2f ms\n"
                    "channel pass speed-up over baseline: %.2fx\n",
                    fast, baseline, baseline / fast);
    return 0;
}
