// Speed of the core on 1080p channels of three kinds of content (grain, a photograph, flat
// graphics): each operation, the whole channel pass at 8 bits, 16 bits and float, and the same
// pass written plainly (the reference library) in the same run, for the ratios.
//
//   basinlift_bench                 verifies the core against the reference, then times both
//   basinlift_bench --single-pass   runs each core operation once on grain, and the pass once on
//                                   the others, for instruction counts:
//     valgrind --tool=callgrind --toggle-collect='Watershed*' basinlift_bench --single-pass
//   basinlift_bench --grey=FILE     adds a 1920x1080 8-bit grey frame from a raw file as a fourth
//                                   content, named after the file, e.g. a real test pattern:
//     ffmpeg -f lavfi -i testsrc2=size=1920x1080 -frames:v 1 -pix_fmt gray -f rawvideo testsrc2.grey
//   basinlift_bench --write-contents=DIR   writes the generated contents there as raw grey
//                                   frames (grain.grey...), for measurements outside this program
//                                   (bench/opencv_watershed.py), and times nothing
//
// Each benchmark repeats 3 times unless --benchmark_repetitions says otherwise, and its fastest
// repetition is the figure shown: other work on a shared machine only ever slows a run down.
// The repetitions of all benchmarks run shuffled together (Google Benchmark's random
// interleaving, unless --benchmark_enable_random_interleaving=false): a virtual machine's speed
// wanders from one minute to the next, and so the fast pass and the plain one are timed under
// the same conditions, which keeps their ratio steady from run to run.
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
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
template <typename Sample>
struct Buffers {
    Buffers()
        : channel(kPixels), order(kPixels), label(kPixels), boundary(kPixels),
          pixelList(kPixels), queue(kPixels + 1), dst(kPixels) {}

    ChannelScratch<Sample> Scratch() {
        return {channel.data(),  order.data(),     label.data(),
                boundary.data(), pixelList.data(), queue.data()};
    }
    PlaneView<Sample> Destination() {
        return {dst.data(), kWidth * static_cast<ptrdiff_t>(sizeof(Sample)), sizeof(Sample), kWidth, kHeight};
    }
    // The working buffers' bytes per pixel: what a filter holds for a channel of this size.
    static constexpr size_t kBytesPerPixel = 4 * sizeof(uint32_t) + 1 + sizeof(Sample);

    std::vector<Sample> channel;
    std::vector<uint32_t> order;
    std::vector<int32_t> label;
    std::vector<uint8_t> boundary;
    std::vector<uint32_t> pixelList, queue;
    std::vector<Sample> dst;
};

// One channel of content at one depth, and the buffers of the core and of the reference.
template <typename Sample>
struct Workspace {
    Workspace(std::vector<Sample> values, SampleRange sampleRange)
        : src(std::move(values)), range(sampleRange) {}

    PlaneView<const Sample> Source() const {
        return {src.data(), kWidth * static_cast<ptrdiff_t>(sizeof(Sample)), sizeof(Sample), kWidth, kHeight};
    }

    void Sort() { SortPixels(fast.Scratch(), Source(), range); }
    void Segment(bool c4) { Watershed(fast.Scratch(), kWidth, kHeight, c4); }
    // Reads the segmentation kept from the last pass, which the Watershed benchmarks leave
    // alone.
    void Enhance() {
        ChannelScratch<Sample> kept = fast.Scratch();
        kept.label = passLabel.data();
        kept.boundary = passBoundary.data();
        EnhanceChannel(fast.Destination(), Source(), kept, range, kFactor, kSh);
    }
    void FastPass() {
        Sort();
        Segment(kC4);
        EnhanceChannel(fast.Destination(), Source(), fast.Scratch(), range, kFactor, kSh);
    }

    void ReferenceSort() { reference::SortPixels(plain.Scratch(), Source(), range); }
    void ReferenceSegment(bool c4) { reference::Watershed(plain.Scratch(), kWidth, kHeight, c4); }
    void ReferenceEnhance() {
        reference::EnhanceChannel(plain.Destination(), Source(), plain.Scratch(), range, kFactor, kSh);
    }
    void ReferencePass() {
        ReferenceSort();
        ReferenceSegment(kC4);
        ReferenceEnhance();
    }

    // The core's watershed on the core's order must match the reference's byte for byte, for
    // both connectivities; and the whole pass must produce the reference's picture, although
    // the reference orders equal values differently (that order only renumbers regions).
    bool AgreesWithReference(const char* name) {
        bool same = true;
        for (bool c4 : {false, true}) {
            Sort();
            Segment(c4);
            // The reference's watershed on the core's order: the same order, the same labels.
            ChannelScratch<Sample> onFastOrder = plain.Scratch();
            onFastOrder.channel = fast.channel.data();
            onFastOrder.order = fast.order.data();
            reference::Watershed(onFastOrder, kWidth, kHeight, c4);
            if (fast.label != plain.label || fast.boundary != plain.boundary) {
                std::fprintf(stderr, "%s: Watershed (c4 %d) differs from the reference\n", name, c4);
                same = false;
            }
        }
        FastPass();
        ReferencePass();
        if (fast.dst != plain.dst || fast.boundary != plain.boundary) {
            std::fprintf(stderr, "%s: the channel pass differs from the reference\n", name);
            same = false;
        }
        return same;
    }

    // Keeps the last pass's segmentation for Enhance, and what it found.
    void KeepPass() {
        FastPass();
        passLabel = fast.label;
        passBoundary = fast.boundary;
        regions = *std::max_element(fast.label.begin(), fast.label.end());
        boundaryPixels = std::count(fast.boundary.begin(), fast.boundary.end(), 0);
    }

    std::vector<Sample> src;
    SampleRange range;
    Buffers<Sample> fast, plain;
    std::vector<int32_t> passLabel;
    std::vector<uint8_t> passBoundary;
    int32_t regions = 0;
    int64_t boundaryPixels = 0;
};

using ByteSpace = Workspace<uint8_t>;

// The channel's bytes at 16 bits (shifted up) or as floats (divided by 255).
std::vector<uint16_t> Words(const std::vector<uint8_t>& bytes) {
    std::vector<uint16_t> words(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) words[i] = static_cast<uint16_t>(bytes[i] << 8);
    return words;
}
std::vector<float> Floats(const std::vector<uint8_t>& bytes) {
    std::vector<float> floats(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) floats[i] = bytes[i] / 255.0f;
    return floats;
}

// Pixels per second (items_per_second) and nanoseconds per pixel; for the operations that
// segment, what the segmentation found, so a change in the content shows beside the time.
template <typename Space>
void SetCounters(benchmark::State& state, const Space* segmented) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kPixels));
    state.counters["ns_per_pixel"] = benchmark::Counter(
        static_cast<double>(kPixels),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (!segmented) return;
    state.counters["regions"] = segmented->regions;
    state.counters["boundary_px"] = static_cast<double>(segmented->boundaryPixels);
}

double Fastest(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

// `segmented`: the workspace whose regions the benchmark's counters report, or nullptr.
template <typename Space, typename Op>
void Register(const std::string& name, const Space* segmented, Op op) {
    benchmark::RegisterBenchmark(name.c_str(), [op, segmented](benchmark::State& state) {
        for (auto _ : state) {
            op();
            benchmark::ClobberMemory();
        }
        SetCounters(state, segmented);
    })
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", Fastest)
        ->DisplayAggregatesOnly(true);
}

// Shows each benchmark's fastest repetition only, and remembers its CPU time per iteration.
class FastestRunReporter : public benchmark::ConsoleReporter {
public:
    explicit FastestRunReporter(bool color)
        : ConsoleReporter(color ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // With one repetition there are no aggregates: the run itself is the fastest.
            const bool fastest = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "min"
                                                                   : run.repetitions <= 1;
            if (!fastest) continue;
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

void PrintRatio(const FastestRunReporter& reporter, const std::string& what,
                const std::string& fast, const std::string& plain) {
    const double f = reporter.Best(fast), p = reporter.Best(plain);
    if (f > 0 && p > 0)
        std::printf("%-26s fast %7.2f ms, reference %7.2f ms, speed-up %5.2fx\n", what.c_str(), f,
                    p, p / f);
}

void PrintDepth(const FastestRunReporter& reporter, const std::string& what,
                const std::string& wide, const std::string& bytes, size_t bytesPerPixel) {
    const double w = reporter.Best(wide), b = reporter.Best(bytes);
    if (w > 0 && b > 0)
        std::printf("%-26s %7.2f ms, %.2fx the 8-bit pass; working buffers %zu bytes per pixel\n",
                    what.c_str(), w, w / b, bytesPerPixel);
}

// Google Benchmark's flags as this program defaults them: 3 repetitions, shuffled together,
// colour only on a terminal; whatever the command line says wins.
struct Defaults {
    std::vector<std::string> arguments;
    bool color;
};
Defaults ApplyDefaults(int argc, char** argv) {
    Defaults d{{argv, argv + argc}, isatty(STDOUT_FILENO) != 0};
    bool repetitions = false, interleaving = false;
    for (const std::string& a : d.arguments) {
        repetitions |= a.rfind("--benchmark_repetitions", 0) == 0;
        interleaving |= a.rfind("--benchmark_enable_random_interleaving", 0) == 0;
        if (a.rfind("--benchmark_color=", 0) == 0) {
            const std::string value = a.substr(18);
            d.color = value == "true" || value == "yes" || value == "1" ||
                      (value == "auto" && isatty(STDOUT_FILENO));
        }
    }
    if (!repetitions) d.arguments.push_back("--benchmark_repetitions=3");
    if (!interleaving) d.arguments.push_back("--benchmark_enable_random_interleaving=true");
    return d;
}

// The frame in a raw 8-bit file of kWidth x kHeight bytes, or nothing (with a message).
std::unique_ptr<ByteSpace> ReadGreyFrame(const std::string& path) {
    std::vector<uint8_t> bytes(kPixels);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return nullptr;
    }
    const size_t read = std::fread(bytes.data(), 1, kPixels, file.get());
    if (read != kPixels || std::fgetc(file.get()) != EOF) {
        std::fprintf(stderr, "%s is not a %dx%d 8-bit grey frame (%zu bytes expected)\n",
                     path.c_str(), kWidth, kHeight, kPixels);
        return nullptr;
    }
    return std::make_unique<ByteSpace>(std::move(bytes), kEightBit);
}

bool WriteGreyFrame(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                               std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The file name without its directory and extension.
std::string ContentName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    bool singlePass = false;
    std::string greyPath, contentsDir;
    // This program's own flags, taken out before Google Benchmark sees the rest.
    for (int i = 1; i < argc;) {
        const bool single = std::strcmp(argv[i], "--single-pass") == 0;
        const bool grey = std::strncmp(argv[i], "--grey=", 7) == 0;
        const bool write = std::strncmp(argv[i], "--write-contents=", 17) == 0;
        if (!single && !grey && !write) {
            ++i;
            continue;
        }
        if (single) singlePass = true;
        if (grey) greyPath = argv[i] + 7;
        if (write) contentsDir = argv[i] + 17;
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
    }
    Defaults defaults = ApplyDefaults(argc, argv);
    std::vector<char*> args;
    for (std::string& a : defaults.arguments) args.push_back(a.data());
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    const std::vector<uint8_t> grainBytes = MakeSyntheticChannel(kWidth, kHeight);
    ByteSpace grain(grainBytes, kEightBit);
    ByteSpace photograph(MakePhotographChannel(kWidth, kHeight), kEightBit);
    ByteSpace graphics(MakeGraphicsChannel(kWidth, kHeight), kEightBit);
    Workspace<uint16_t> grain16(Words(grainBytes), IntegerRange(16));
    Workspace<float> grainFloat(Floats(grainBytes), FloatRange(false));
    std::vector<std::pair<const char*, ByteSpace*>> contents = {
        {"grain", &grain}, {"photograph", &photograph}, {"graphics", &graphics}};
    std::unique_ptr<ByteSpace> greyFrame;
    const std::string greyName = ContentName(greyPath);
    if (!greyPath.empty()) {
        greyFrame = ReadGreyFrame(greyPath);
        if (!greyFrame) return 1;
        contents.emplace_back(greyName.c_str(), greyFrame.get());
    }

    if (!contentsDir.empty()) {
        for (const auto& [name, space] : contents)
            if (!WriteGreyFrame(contentsDir + "/" + name + ".grey", space->src)) return 1;
        return 0;
    }

    if (singlePass) {  // one call each on grain, one pass on each other content and depth
        grain.Sort();
        grain.Segment(false);
        grain.KeepPass();
        grain.Enhance();
        photograph.FastPass();
        graphics.FastPass();
        if (greyFrame) greyFrame->FastPass();
        grain16.FastPass();
        grainFloat.FastPass();
        return 0;
    }

    bool agree = true;
    for (const auto& [name, space] : contents) agree &= space->AgreesWithReference(name);
    agree &= grain16.AgreesWithReference("grain, 16-bit");
    if (!agree) {
        std::fprintf(stderr, "not benchmarking\n");
        return 2;
    }
    for (const auto& [name, space] : contents) {
        space->KeepPass();
        std::printf("%-10s %dx%d (c4): %d regions, %lld boundary pixels\n", name, kWidth, kHeight,
                    space->regions, static_cast<long long>(space->boundaryPixels));
    }
    grain16.KeepPass();
    grainFloat.KeepPass();

    Register("SortPixels", &grain, [&] { grain.Sort(); });
    Register("Watershed/c4", &grain, [&] { grain.Segment(true); });
    Register("Watershed/c8", &grain, [&] { grain.Segment(false); });
    Register("EnhanceChannel", &grain, [&] { grain.Enhance(); });
    for (const auto& [name, space] : contents) {
        ByteSpace* s = space;
        Register(std::string("ChannelPass/fast/") + name, s, [s] { s->FastPass(); });
    }
    Register("ChannelPass/fast/grain/16-bit", &grain16, [&] { grain16.FastPass(); });
    Register("ChannelPass/fast/grain/float", &grainFloat, [&] { grainFloat.FastPass(); });
    Register("Reference/SortPixels", &grain, [&] { grain.ReferenceSort(); });
    Register("Reference/Watershed/c4", &grain, [&] { grain.ReferenceSegment(true); });
    Register("Reference/EnhanceChannel", &grain, [&] { grain.ReferenceEnhance(); });
    for (const auto& [name, space] : contents) {
        ByteSpace* s = space;
        Register(std::string("ChannelPass/reference/") + name, s, [s] { s->ReferencePass(); });
    }

    FastestRunReporter reporter(defaults.color);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    PrintRatio(reporter, "sort (grain)", "SortPixels", "Reference/SortPixels");
    PrintRatio(reporter, "watershed c4 (grain)", "Watershed/c4", "Reference/Watershed/c4");
    PrintRatio(reporter, "enhance (grain)", "EnhanceChannel", "Reference/EnhanceChannel");
    for (const auto& [name, space] : contents)
        PrintRatio(reporter, std::string("channel pass, ") + name,
                   std::string("ChannelPass/fast/") + name,
                   std::string("ChannelPass/reference/") + name);
    PrintDepth(reporter, "channel pass, grain, 8-bit", "ChannelPass/fast/grain",
               "ChannelPass/fast/grain", Buffers<uint8_t>::kBytesPerPixel);
    PrintDepth(reporter, "channel pass, grain, 16-bit", "ChannelPass/fast/grain/16-bit",
               "ChannelPass/fast/grain", Buffers<uint16_t>::kBytesPerPixel);
    PrintDepth(reporter, "channel pass, grain, float", "ChannelPass/fast/grain/float",
               "ChannelPass/fast/grain", Buffers<float>::kBytesPerPixel);
    return 0;
}
