// A host program for the real AviSynth+, built for Linux and for 64-bit Windows from this one
// source: it loads a plug-in, runs the scripts of a cases file and writes what each gives, the
// frames of a clip or the text of an error, so that runs in different hosts and of different
// plug-ins can be compared byte for byte. It speaks only the C interface, which has no compiler
// ABI question. It registers its own source, TestSource, whose frames are the same everywhere.
//
// Usage: avs_host PLUGIN CASES OUTDIR
// PLUGIN is loaded with LoadPlugin; "-" loads none, for a plug-in that the host autoloads from
// one of its plug-in folders when a script first calls BasinLift.
// CASES: one case per line, "name | source | sclip | arguments"; sclip "-" for none; empty
// lines and lines beginning with # are skipped. For each case OUTDIR gets:
//   name.source.frames, name.sclip.frames   the clips given to the filter
//   name.source.props, name.out.props ...   every frame's integer and float properties
//   name.out.frames or name.out.error      src.BasinLift(arguments), sclip as `seg`
//   name.prefetch.frames or .error         the same followed by Prefetch(2)
//   name.caught.txt                         for a refused call: what a script's try/catch
//                                           around it gives
// A frames file is a line "BLFRAMES pixel_type width height frames planes" and then, frame by
// frame and plane by plane, every row's visible bytes.
#include <avisynth_c.h>

#include "case_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Planes {
    int count;
    int id[4];
};

// The planes of a pixel type, read from its bits: packed formats have one; planar ones have
// Y, U, V or G, B, R, and A when they carry alpha.
Planes PlanesOf(int pixelType) {
    if (!(pixelType & AVS_CS_PLANAR)) return {1, {0}};
    if (pixelType & AVS_CS_INTERLEAVED) return {1, {AVS_PLANAR_Y}};  // Y alone
    if (pixelType & AVS_CS_BGR) {
        if (pixelType & AVS_CS_RGBA_TYPE)
            return {4, {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R, AVS_PLANAR_A}};
        return {3, {AVS_PLANAR_G, AVS_PLANAR_B, AVS_PLANAR_R}};
    }
    if (pixelType & AVS_CS_YUVA) return {4, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V, AVS_PLANAR_A}};
    return {3, {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V}};
}

// Bits per sample of a pixel type: 8, 10, 12, 14, 16, or 32 for float.
int BitsOf(int pixelType) {
    switch (pixelType & AVS_CS_SAMPLE_BITS_MASK) {
        case AVS_CS_SAMPLE_BITS_10: return 10;
        case AVS_CS_SAMPLE_BITS_12: return 12;
        case AVS_CS_SAMPLE_BITS_14: return 14;
        case AVS_CS_SAMPLE_BITS_16: return 16;
        case AVS_CS_SAMPLE_BITS_32: return 32;
        default: return 8;
    }
}

// Blocks of a few levels with grain on top: regions for the watershed to find, and many
// boundaries. The same values in every host; sample x of a row (not byte), so that a clip of
// any depth holds the same picture as its 8-bit form.
uint8_t SourceValue(uint32_t seed, int n, int plane, int x, int y) {
    uint32_t h = seed * 0x9E3779B1u ^ static_cast<uint32_t>(n) * 0x85EBCA77u ^
                 static_cast<uint32_t>(plane) * 0xC2B2AE3Du ^ static_cast<uint32_t>(x) * 0x27D4EB2Fu ^
                 static_cast<uint32_t>(y) * 0x165667B1u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    const uint32_t block = (static_cast<uint32_t>(x / 6 + (y / 5) * 3 + n + plane) + seed) % 5;
    return static_cast<uint8_t>(40 * block + h % 24);
}

// The 8-bit picture at the clip's depth: words hold value << (bits - 8); floats value / 255,
// less 0.5 for chroma, which AviSynth+ centres on 0.
AVS_VideoFrame* AVSC_CC SourceFrame(AVS_FilterInfo* fi, int n) {
    AVS_VideoFrame* frame = avs_new_video_frame_a(fi->env, &fi->vi, 16);
    const uint32_t seed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fi->user_data));
    const Planes planes = PlanesOf(fi->vi.pixel_type);
    const int bits = BitsOf(fi->vi.pixel_type);
    const int sampleBytes = bits == 8 ? 1 : bits == 32 ? 4 : 2;
    for (int p = 0; p < planes.count; ++p) {
        uint8_t* row = avs_get_write_ptr_p(frame, planes.id[p]);
        const int pitch = avs_get_pitch_p(frame, planes.id[p]);
        const int width = avs_get_row_size_p(frame, planes.id[p]) / sampleBytes;
        const int height = avs_get_height_p(frame, planes.id[p]);
        const bool chroma = planes.id[p] == AVS_PLANAR_U || planes.id[p] == AVS_PLANAR_V;
        for (int y = 0; y < height; ++y, row += pitch)
            for (int x = 0; x < width; ++x) {
                const uint8_t value = SourceValue(seed, n, p, x, y);
                if (sampleBytes == 1) {
                    row[x] = value;
                } else if (sampleBytes == 2) {
                    const uint16_t word = static_cast<uint16_t>(value << (bits - 8));
                    std::memcpy(row + 2 * x, &word, 2);
                } else {
                    const float f = value / 255.0f - (chroma ? 0.5f : 0.0f);
                    std::memcpy(row + 4 * x, &f, 4);
                }
            }
    }
    // Properties that downstream filters read, and one of the script's own, to follow.
    AVS_Map* props = avs_get_frame_props_rw(fi->env, frame);
    avs_prop_set_int(fi->env, props, "_Matrix", 1, 0);
    avs_prop_set_int(fi->env, props, "_ColorRange", 0, 0);
    avs_prop_set_int(fi->env, props, "BasinLiftTestFrame", n, 0);
    avs_prop_set_float(fi->env, props, "BasinLiftTestSeed", seed + 0.5, 0);
    return frame;
}

// "key=value ..." of a frame's integer and float properties, in the host's order.
std::string PropertyLine(AVS_ScriptEnvironment* env, const AVS_VideoFrame* frame) {
    const AVS_Map* props = avs_get_frame_props_ro(env, frame);
    std::string line;
    for (int i = 0; i < avs_prop_num_keys(env, props); ++i) {
        const char* key = avs_prop_get_key(env, props, i);
        int error = 0;
        line += std::string(" ") + key + "=";
        switch (avs_prop_get_type(env, props, key)) {
            case 'i': line += std::to_string(avs_prop_get_int(env, props, key, 0, &error)); break;
            case 'f': line += std::to_string(avs_prop_get_float(env, props, key, 0, &error)); break;
            default: line += "?"; break;
        }
    }
    return line;
}

// TestSource(clip template, int seed, bool i420): frames of the template's format, size and
// length, filled from the seed; i420 relabels a YV12 template as I420, a format no built-in
// source of AviSynth+ makes.
AVS_Value AVSC_CC CreateTestSource(AVS_ScriptEnvironment* env, AVS_Value args, void*) {
    AVS_FilterInfo* fi = nullptr;
    AVS_Clip* clip = avs_new_c_filter(env, &fi, avs_array_elt(args, 0), 1);
    fi->user_data = reinterpret_cast<void*>(static_cast<uintptr_t>(avs_as_int(avs_array_elt(args, 1))));
    const AVS_Value i420 = avs_array_elt(args, 2);
    if (avs_is_bool(i420) && avs_as_bool(i420) && fi->vi.pixel_type == AVS_CS_YV12)
        fi->vi.pixel_type = AVS_CS_I420;
    fi->get_frame = SourceFrame;
    AVS_Value result;
    avs_set_to_clip(&result, clip);
    avs_release_clip(clip);
    return result;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

enum class Outcome { WriteFailed, Frames, Error, Text };

// Runs a script; writes the frames of a clip, or the text of an error or string, to
// base + ".frames", ".error" or ".txt".
Outcome Record(AVS_ScriptEnvironment* env, const std::string& script, const std::string& base) {
    const AVS_Value value = avs_invoke(env, "Eval", avs_new_value_string(script.c_str()), nullptr);
    bool ok = true;
    Outcome outcome = Outcome::Frames;
    if (avs_is_error(value)) {
        outcome = Outcome::Error;
        ok = WriteText(base + ".error", avs_as_error(value));
    } else if (avs_is_string(value)) {
        outcome = Outcome::Text;
        ok = WriteText(base + ".txt", avs_as_string(value));
    } else if (avs_is_clip(value)) {
        AVS_Clip* clip = avs_take_clip(value, env);
        const AVS_VideoInfo vi = *avs_get_video_info(clip);
        const Planes planes = PlanesOf(vi.pixel_type);
        std::ofstream out(base + ".frames", std::ios::binary);
        std::string properties;
        out << "BLFRAMES " << vi.pixel_type << ' ' << vi.width << ' ' << vi.height << ' '
            << vi.num_frames << ' ' << planes.count << '\n';
        for (int n = 0; n < vi.num_frames && ok; ++n) {
            AVS_VideoFrame* frame = avs_get_frame(clip, n);
            if (!frame) {
                out.close();
                std::remove((base + ".frames").c_str());
                outcome = Outcome::Error;
                ok = WriteText(base + ".error", avs_clip_get_error(clip));
                break;
            }
            for (int p = 0; p < planes.count; ++p) {
                const uint8_t* row = avs_get_read_ptr_p(frame, planes.id[p]);
                const int pitch = avs_get_pitch_p(frame, planes.id[p]);
                const int width = avs_get_row_size_p(frame, planes.id[p]);
                for (int y = 0; y < avs_get_height_p(frame, planes.id[p]); ++y, row += pitch)
                    out.write(reinterpret_cast<const char*>(row), width);
            }
            properties += std::to_string(n) + ":" + PropertyLine(env, frame) + "\n";
            avs_release_video_frame(frame);
            ok = static_cast<bool>(out);
        }
        avs_release_clip(clip);
        ok = ok && WriteText(base + ".props", properties);
    } else {
        outcome = Outcome::Error;
        ok = WriteText(base + ".error", "the script gave no clip, string or error");
    }
    avs_release_value(value);
    return ok ? outcome : Outcome::WriteFailed;
}

bool SetClip(AVS_ScriptEnvironment* env, const char* name, const std::string& script) {
    const AVS_Value value = avs_invoke(env, "Eval", avs_new_value_string(script.c_str()), nullptr);
    const bool ok = avs_is_clip(value);
    if (ok) avs_set_var(env, name, value);  // false when replacing, which is no failure
    if (!ok) std::fprintf(stderr, "avs_host: %s: %s\n", script.c_str(),
                          avs_is_error(value) ? avs_as_error(value) : "not a clip");
    avs_release_value(value);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: avs_host PLUGIN CASES OUTDIR\n");
        return 2;
    }
    const std::string plugin = argv[1], outdir = argv[3];
    std::vector<hosttest::Case> cases;
    try {
        cases = hosttest::ReadCases(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "avs_host: %s\n", e.what());
        return 2;
    }
    AVS_ScriptEnvironment* env = avs_create_script_environment(AVISYNTH_INTERFACE_VERSION);
    if (!env) {
        std::fprintf(stderr, "avs_host: AviSynth+ gave no script environment\n");
        return 1;
    }
    int status = 0;
    avs_add_function(env, "TestSource", "ci[i420]b", CreateTestSource, nullptr);
    if (plugin != "-") {
        const AVS_Value loaded =
            avs_invoke(env, "LoadPlugin", avs_new_value_string(plugin.c_str()), nullptr);
        if (avs_is_error(loaded)) {
            std::fprintf(stderr, "avs_host: %s\n", avs_as_error(loaded));
            status = 1;
        }
        avs_release_value(loaded);
    }

    for (const hosttest::Case& c : cases) {
        if (status != 0) break;
        const std::string base = outdir + "/" + c.name;
        const std::string call = "src.BasinLift(" + c.arguments + ")";
        bool ok = SetClip(env, "src", c.clip) &&
                  Record(env, "src", base + ".source") == Outcome::Frames &&
                  (c.sclip == "-" || (SetClip(env, "seg", c.sclip) &&
                                      Record(env, "seg", base + ".sclip") == Outcome::Frames));
        const Outcome out = ok ? Record(env, call, base + ".out") : Outcome::WriteFailed;
        ok = out != Outcome::WriteFailed &&
             Record(env, call + ".Prefetch(2)", base + ".prefetch") != Outcome::WriteFailed &&
             (out != Outcome::Error ||
              Record(env, "try { " + call + " } catch (err) { err }", base + ".caught") ==
                  Outcome::Text);
        if (!ok) status = 1;
    }
    avs_delete_script_environment(env);
    return status;
}
