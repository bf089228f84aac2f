// A host program for the real VapourSynth: it loads our plug-in into a core, calls
// basinlift.BasinLift for each case of a cases file and writes down what the host gives, so
// that the test can judge it from outside (a misuse by a plug-in makes the host abort the whole
// process, which the test then reports instead of dying with it).
//
// Usage: vs_host PLUGIN CASES OUTDIR
// CASES: one case per line, "name | clip | sclip | arguments"; empty lines and lines beginning
// with # are skipped. A clip is "FORMAT WIDTHxHEIGHT FRAMES SEED" (FORMAT a preset name such as
// YUV420P8, or "variable" for a clip whose format varies; size 0x0 for one whose size varies),
// or "-" for none. Arguments are comma-separated name=value: an integer, a float (with a dot),
// "text", several integers joined by ';', or @clip / @sclip for those clips.
// For each case OUTDIR gets:
//   name.out.error                      the text of a refusal, or of a failed frame
//   name.clip.frames, name.sclip.frames the clips given to the filter, for a call that succeeded
//   name.out.frames                     the filter's frames, one after the other, on 1 thread
//   name.parallel.frames                the same from a new call, every frame requested at once
//                                       from kParallelThreads worker threads
//   name.clip.props, name.out.props     every frame's properties
//   name.out.shared                     per frame, the output planes that are the source
//                                       frame's own memory
// and OUTDIR/plugin.txt describes the plug-in as the host registered it.
// A frames file is a line "BLFRAMES FORMAT WIDTH HEIGHT FRAMES" and then, frame by frame and
// plane by plane, every row's visible bytes.
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "case_file.h"
#include "format_names.h"
#include "vs_session.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using hosttest::Case;
using vstest::HostError;
using vstest::Session;
using hosttest::Split;

constexpr int kParallelThreads = 4;

// splitmix64's finaliser: grain that is the same on every platform and library.
uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Blocks of six levels with grain on top: regions for the watershed to find, and many
// boundaries; by sample (x counts samples), so that a clip of any depth holds the same
// picture as its 8-bit form.
uint8_t SampleValue(uint32_t seed, int n, int plane, int x, int y) {
    const uint64_t where = uint64_t{seed} << 44 ^ static_cast<uint64_t>(n) << 32 ^
                           static_cast<uint64_t>(plane) << 30 ^ static_cast<uint64_t>(y) << 15 ^
                           static_cast<uint64_t>(x);
    const int level = (x / 7 + (y / 5) * 3 + n + plane + static_cast<int>(seed)) % 6;
    return static_cast<uint8_t>(35 * level + static_cast<int>(Mix(where + 0x9E3779B97F4A7C15ull) % 20));
}

// An 8-bit value at the format's depth: words hold it shifted up, floats divided by 255 (less
// 0.5 for chroma, which VapourSynth centres on 0); half floats are filled alike, never filtered.
void WriteSample(uint8_t* row, int x, const VSVideoFormat& format, bool chroma, uint8_t value) {
    if (format.sampleType == stInteger && format.bytesPerSample == 1) {
        row[x] = value;
    } else if (format.sampleType == stInteger) {
        const uint16_t word = static_cast<uint16_t>(value << (format.bitsPerSample - 8));
        std::memcpy(row + 2 * x, &word, 2);
    } else if (format.bytesPerSample == 4) {
        const float f = value / 255.0f - (chroma ? 0.5f : 0.0f);
        std::memcpy(row + 4 * x, &f, 4);
    } else {
        const uint16_t half = static_cast<uint16_t>(value * 97);  // any bits: never filtered
        std::memcpy(row + 2 * x, &half, 2);
    }
}

// The frames a source made last, by number: what the filter was given for that frame.
class FrameStore {
public:
    explicit FrameStore(const VSAPI* api) : api_(api) {}
    ~FrameStore() {
        for (const auto& entry : frames_) api_->freeFrame(entry.second);
    }
    void Keep(int n, const VSFrame* frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        const VSFrame*& slot = frames_[n];
        if (slot) api_->freeFrame(slot);
        slot = api_->addFrameRef(frame);
    }
    const VSFrame* Get(int n) {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_.count(n) ? frames_[n] : nullptr;
    }

private:
    const VSAPI* api_;
    std::mutex mutex_;
    std::map<int, const VSFrame*> frames_;
};

struct SourceClip {
    bool given = false;
    VSVideoInfo vi{};
    uint32_t seed = 0;
};

SourceClip ParseClip(const Session& session, const std::string& text) {
    SourceClip source;
    if (text == "-") return source;
    char format[32] = "";
    int width = 0, height = 0, frames = 0;
    unsigned seed = 0;
    if (std::sscanf(text.c_str(), "%31s %dx%d %d %u", format, &width, &height, &frames, &seed) != 5)
        throw HostError("not a clip: " + text);
    source.given = true;
    source.seed = seed;
    source.vi.width = width;
    source.vi.height = height;
    source.vi.numFrames = frames;
    source.vi.fpsNum = 25;
    source.vi.fpsDen = 1;
    if (std::string(format) == "variable") return source;  // format left undefined
    const std::optional<vstest::FormatParts> parts = vstest::ParseFormatName(format);
    if (!parts || !session.Api()->queryVideoFormat(&source.vi.format, parts->colorFamily,
                                                   parts->isFloat ? stFloat : stInteger, parts->bits,
                                                   parts->subSamplingW, parts->subSamplingH,
                                                   session.Core()))
        throw HostError("unknown format: " + text);
    return source;
}

// A source whose frame n is the same every time it is made, with a few properties to follow.
VSNode* MakeSource(Session& session, const SourceClip& source, std::shared_ptr<FrameStore> store) {
    return session.Source(source.vi, [source, store](int n, VSCore* core, const VSAPI* api) {
        VSFrame* frame = api->newVideoFrame(&source.vi.format, source.vi.width, source.vi.height,
                                            nullptr, core);
        const VSVideoFormat& format = source.vi.format;
        for (int p = 0; p < format.numPlanes; ++p) {
            uint8_t* row = api->getWritePtr(frame, p);
            const bool chroma = format.colorFamily == cfYUV && p > 0;
            for (int y = 0; y < api->getFrameHeight(frame, p); ++y, row += api->getStride(frame, p))
                for (int x = 0; x < api->getFrameWidth(frame, p); ++x)
                    WriteSample(row, x, format, chroma, SampleValue(source.seed, n, p, x, y));
        }
        VSMap* props = api->getFramePropertiesRW(frame);
        api->mapSetInt(props, "BasinLiftTestFrame", n, maReplace);
        api->mapSetInt(props, "BasinLiftTestSeed", source.seed, maReplace);
        api->mapSetData(props, "BasinLiftTestNote", "made by vs_host", -1, dtUtf8, maReplace);
        store->Keep(n, frame);
        return frame;
    });
}

// The arguments of one call; nodes are the caller's and stay so.
VSMap* MakeArguments(const Session& session, VSNode* clip, VSNode* sclip, const std::string& text) {
    const VSAPI* api = session.Api();
    VSMap* args = api->createMap();
    if (clip) api->mapSetNode(args, "clip", clip, maReplace);
    for (const std::string& word : Split(text, ',')) {
        if (word.empty()) continue;
        const size_t eq = word.find('=');
        if (eq == std::string::npos) throw HostError("not name=value: " + word);
        const std::string name = word.substr(0, eq), value = word.substr(eq + 1);
        if (value == "@clip" || value == "@sclip")
            api->mapSetNode(args, name.c_str(), value == "@clip" ? clip : sclip, maReplace);
        else if (value.size() >= 2 && value.front() == '"')
            api->mapSetData(args, name.c_str(), value.substr(1, value.size() - 2).c_str(), -1,
                            dtUtf8, maReplace);
        else if (value.find('.') != std::string::npos)
            api->mapSetFloat(args, name.c_str(), std::stod(value), maReplace);
        else
            for (const std::string& number : Split(value, ';'))
                api->mapSetInt(args, name.c_str(), std::stoll(number), maAppend);
    }
    return args;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::string FormatName(const VSAPI* api, const VSVideoFormat& format) {
    char name[32] = "";
    api->getVideoFormatName(&format, name);
    return name;
}

std::string FramesHeader(const VSAPI* api, const VSVideoInfo& vi) {
    return "BLFRAMES " + FormatName(api, vi.format) + " " + std::to_string(vi.width) + " " +
           std::to_string(vi.height) + " " + std::to_string(vi.numFrames) + "\n";
}

void WritePlanes(std::ofstream& out, const VSAPI* api, const VSFrame* frame) {
    const VSVideoFormat& format = *api->getVideoFrameFormat(frame);
    for (int p = 0; p < format.numPlanes; ++p) {
        const uint8_t* row = api->getReadPtr(frame, p);
        const std::streamsize bytes = api->getFrameWidth(frame, p) * format.bytesPerSample;
        for (int y = 0; y < api->getFrameHeight(frame, p); ++y, row += api->getStride(frame, p))
            out.write(reinterpret_cast<const char*>(row), bytes);
    }
}

// "n: key=value ...": the integer and text properties of a frame.
std::string PropertyLine(const VSAPI* api, const VSFrame* frame, int n) {
    const VSMap* props = api->getFramePropertiesRO(frame);
    std::string line = std::to_string(n) + ":";
    for (int i = 0; i < api->mapNumKeys(props); ++i) {
        const char* key = api->mapGetKey(props, i);
        line += std::string(" ") + key + "=";
        if (api->mapGetType(props, key) == ptInt)
            line += std::to_string(api->mapGetInt(props, key, 0, nullptr));
        else if (api->mapGetType(props, key) == ptData)
            line += api->mapGetData(props, key, 0, nullptr);
        else
            line += "?";
    }
    return line + "\n";
}

// Writes every frame of a node, one after the other; the text of a failed frame otherwise.
// With a store, also which planes of each frame are the stored source frame's memory.
bool RecordFrames(const VSAPI* api, VSNode* node, const std::string& base, FrameStore* shares,
                  std::string* error) {
    const VSVideoInfo& vi = *api->getVideoInfo(node);
    std::ofstream frames(base + ".frames", std::ios::binary);
    std::string props, shared;
    frames << FramesHeader(api, vi);
    for (int n = 0; n < vi.numFrames; ++n) {
        char message[1024] = "";
        const VSFrame* frame = api->getFrame(n, node, message, sizeof message);
        if (!frame) {
            *error = message;
            return false;
        }
        WritePlanes(frames, api, frame);
        props += PropertyLine(api, frame, n);
        if (shares) {
            const VSFrame* source = shares->Get(n);
            shared += std::to_string(n) + ":";
            for (int p = 0; source && p < vi.format.numPlanes; ++p)
                if (api->getReadPtr(frame, p) == api->getReadPtr(source, p))
                    shared += " " + std::to_string(p);
            shared += "\n";
        }
        api->freeFrame(frame);
    }
    return frames && WriteText(base + ".props", props) &&
           (!shares || WriteText(base + ".shared", shared));
}

// Every frame of a node requested at once; written in order when all have arrived.
class AllAtOnce {
public:
    AllAtOnce(const VSAPI* api, VSNode* node) : api_(api), node_(node) {
        const int count = api->getVideoInfo(node)->numFrames;
        frames_.assign(static_cast<size_t>(count), nullptr);
        pending_ = count;
        for (int n = 0; n < count; ++n) api->getFrameAsync(n, node, Done, this);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
    }
    ~AllAtOnce() {
        for (const VSFrame* frame : frames_)
            if (frame) api_->freeFrame(frame);
    }
    bool Write(const std::string& path) const {
        if (!error_.empty()) return WriteText(path + ".error", error_);
        std::ofstream out(path + ".frames", std::ios::binary);
        out << FramesHeader(api_, *api_->getVideoInfo(node_));
        for (const VSFrame* frame : frames_) WritePlanes(out, api_, frame);
        return static_cast<bool>(out);
    }

private:
    static void VS_CC Done(void* self, const VSFrame* frame, int n, VSNode*, const char* error) {
        auto& me = *static_cast<AllAtOnce*>(self);
        std::lock_guard<std::mutex> lock(me.mutex_);
        me.frames_[static_cast<size_t>(n)] = frame;
        if (!frame && me.error_.empty()) me.error_ = error ? error : "no frame and no error";
        if (--me.pending_ == 0) me.done_.notify_one();
    }

    const VSAPI* api_;
    VSNode* node_;
    std::vector<const VSFrame*> frames_;
    std::string error_;
    int pending_ = 0;
    std::mutex mutex_;
    std::condition_variable done_;
};

// One case: the call, then its frames on one thread and on several. False when OUTDIR could
// not be written.
bool RunCase(Session& session, const Case& c, const std::string& base) {
    const VSAPI* api = session.Api();
    const SourceClip clipSource = ParseClip(session, c.clip);
    const SourceClip sclipSource = ParseClip(session, c.sclip);
    auto clipStore = std::make_shared<FrameStore>(api);
    auto sclipStore = std::make_shared<FrameStore>(api);
    VSNode* clip = clipSource.given ? MakeSource(session, clipSource, clipStore) : nullptr;
    VSNode* sclip = sclipSource.given ? MakeSource(session, sclipSource, sclipStore) : nullptr;
    VSMap* args = MakeArguments(session, clip, sclip, c.arguments);
    bool ok = true;
    try {
        api->setThreadCount(1, session.Core());
        VSNode* filtered = session.BasinLift(args);
        std::string error;
        ok = RecordFrames(api, clip, base + ".clip", nullptr, &error) &&
             (!sclip || RecordFrames(api, sclip, base + ".sclip", nullptr, &error));
        if (ok && !RecordFrames(api, filtered, base + ".out", clipStore.get(), &error))
            ok = !error.empty() && WriteText(base + ".out.error", error);
        api->freeNode(filtered);

        // A new call, so that no frame comes from the first one's cache.
        api->setThreadCount(kParallelThreads, session.Core());
        VSNode* again = session.BasinLift(args);
        ok = ok && AllAtOnce(api, again).Write(base + ".parallel");
        api->freeNode(again);
    } catch (const HostError& refusal) {
        ok = WriteText(base + ".out.error", refusal.what());
    }
    api->freeMap(args);
    if (sclip) api->freeNode(sclip);
    if (clip) api->freeNode(clip);
    return ok;
}

bool DescribePlugin(const Session& session, const std::string& path) {
    const VSAPI* api = session.Api();
    VSPlugin* plugin = session.Plugin();
    if (!plugin) return WriteText(path, "not registered\n");
    std::string text = std::string("id=") + api->getPluginID(plugin) +
                       "\nnamespace=" + api->getPluginNamespace(plugin) +
                       "\nname=" + api->getPluginName(plugin) + "\n";
    for (VSPluginFunction* f = api->getNextPluginFunction(nullptr, plugin); f;
         f = api->getNextPluginFunction(f, plugin))
        text += std::string("function=") + api->getPluginFunctionName(f) + "(" +
                api->getPluginFunctionArguments(f) + ") -> " + api->getPluginFunctionReturnType(f) + "\n";
    return WriteText(path, text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vs_host PLUGIN CASES OUTDIR\n");
        return 2;
    }
    const std::string outdir = argv[3];
    int status = 0;
    std::unique_ptr<Session> session;
    try {
        const std::vector<Case> cases = hosttest::ReadCases(argv[2]);
        session = std::make_unique<Session>(argv[1], 1);
        if (!DescribePlugin(*session, outdir + "/plugin.txt")) throw HostError("cannot write " + outdir);
        for (const Case& c : cases)
            if (!RunCase(*session, c, outdir + "/" + c.name))
                throw HostError("cannot write the results of " + c.name + " to " + outdir);
    } catch (const std::runtime_error& failure) {
        std::fprintf(stderr, "vs_host: %s\n", failure.what());
        status = 1;
    }
#ifdef _WIN32
    // Under wine, freeing a core whose worker threads have run hangs: a thread-exit callback of
    // the static mingw runtime faults and leaves a lock held. Everything is written by now, so
    // the process ends as Windows ends one, with the core still there. The Linux run frees it.
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
#endif
    return status;
}
