// The functions of AviSynth+'s C interface that the plug-in calls, found the way C plug-ins find
// them on each system: on Windows at run time in avisynth.dll (so one DLL works with every
// AviSynth+ at least as new as the headers, whatever compiler built it), elsewhere through the
// linked libavisynth.
#pragma once

#if defined(_WIN32)
#define AVSC_NO_DECLSPEC
#include <windows.h>

#include <cstdlib>
#endif

#include <avisynth_c.h>

#if defined(_WIN32)
// The header's own table, filled by avs_load_library.
using AvsApi = AVS_Library;
#else
// The same names as the header's table on Windows, so calls read alike everywhere.
// NOLINTBEGIN(readability-identifier-naming): the host's names
struct AvsApi {
    decltype(&::avs_add_function) avs_add_function;
    decltype(&::avs_new_c_filter) avs_new_c_filter;
    decltype(&::avs_take_clip) avs_take_clip;
    decltype(&::avs_release_clip) avs_release_clip;
    decltype(&::avs_get_video_info) avs_get_video_info;
    decltype(&::avs_get_frame) avs_get_frame;
    decltype(&::avs_clip_get_error) avs_clip_get_error;
    decltype(&::avs_get_error) avs_get_error;
    decltype(&::avs_new_video_frame_p_a) avs_new_video_frame_p_a;
    decltype(&::avs_release_video_frame) avs_release_video_frame;
    decltype(&::avs_get_read_ptr_p) avs_get_read_ptr_p;
    decltype(&::avs_get_write_ptr_p) avs_get_write_ptr_p;
    decltype(&::avs_get_pitch_p) avs_get_pitch_p;
    decltype(&::avs_bit_blt) avs_bit_blt;
    decltype(&::avs_save_string) avs_save_string;
    decltype(&::avs_set_to_clip) avs_set_to_clip;
};
// NOLINTEND(readability-identifier-naming)
#endif

// The table, loaded once per process; nullptr when the host's library lacks a function the
// plug-in needs (an AviSynth older than its headers, or one without frame properties).
const AvsApi* LoadAvsApi();
