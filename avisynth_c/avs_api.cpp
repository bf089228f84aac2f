#include "avs_api.h"

#if defined(_WIN32)
// The table lives as long as the process: the host unloads plug-ins only at its end, and
// freeing it then would only race with the host's own shutdown.
const AvsApi* LoadAvsApi() {
    static const AvsApi* const api = [] {
        AVS_Library* library = avs_load_library();
        // Loaded as optional by the header, as hosts before frame properties lack it; the
        // plug-in keeps its source's properties with it, so it needs it.
        return library && library->avs_new_video_frame_p_a ? library : nullptr;
    }();
    return api;
}
#else
const AvsApi* LoadAvsApi() {
    static const AvsApi api = {
        &::avs_add_function,        &::avs_new_c_filter,       &::avs_take_clip,
        &::avs_release_clip,        &::avs_get_video_info,     &::avs_get_frame,
        &::avs_clip_get_error,      &::avs_get_error,          &::avs_new_video_frame_p_a,
        &::avs_release_video_frame,
        &::avs_get_read_ptr_p,      &::avs_get_write_ptr_p,    &::avs_get_pitch_p,
        &::avs_bit_blt,             &::avs_save_string,        &::avs_set_to_clip,
    };
    return &api;
}
#endif
