#pragma once

#include "codecs/TDynamicLibrary.h"

#include <alsa/asoundlib.h>

namespace kestrune {

// The entry points of libasound (ALSA) that the ALSA devices and mixer call.
// Only the headers come from the library at build time; every call goes
// through these pointers, looked up by name from "libasound.so.2" when a job first needs the
// library, so a job that does not use it never loads it (nor what it pulls
// in), and the program runs without it: its devices are simply not there.
//
// Entry points keep the library's own names, so a call reads as the
// library's documentation writes it: Asound().snd_pcm_open(...).
#define KESTRUNE_ASOUND_ENTRIES(X)                                                                                     \
    X(snd_device_name_free_hint)                                                                                       \
    X(snd_device_name_get_hint)                                                                                        \
    X(snd_device_name_hint)                                                                                            \
    X(snd_hctl_open)                                                                                                   \
    X(snd_lib_error_set_handler)                                                                                       \
    X(snd_mixer_attach_hctl)                                                                                           \
    X(snd_mixer_close)                                                                                                 \
    X(snd_mixer_elem_get_callback_private)                                                                             \
    X(snd_mixer_elem_next)                                                                                             \
    X(snd_mixer_elem_set_callback)                                                                                     \
    X(snd_mixer_elem_set_callback_private)                                                                             \
    X(snd_mixer_first_elem)                                                                                            \
    X(snd_mixer_handle_events)                                                                                         \
    X(snd_mixer_load)                                                                                                  \
    X(snd_mixer_open)                                                                                                  \
    X(snd_mixer_poll_descriptors)                                                                                      \
    X(snd_mixer_poll_descriptors_count)                                                                                \
    X(snd_mixer_selem_get_capture_switch)                                                                              \
    X(snd_mixer_selem_get_capture_volume)                                                                              \
    X(snd_mixer_selem_get_capture_volume_range)                                                                        \
    X(snd_mixer_selem_get_enum_item)                                                                                   \
    X(snd_mixer_selem_get_enum_item_name)                                                                              \
    X(snd_mixer_selem_get_enum_items)                                                                                  \
    X(snd_mixer_selem_get_index)                                                                                       \
    X(snd_mixer_selem_get_name)                                                                                        \
    X(snd_mixer_selem_get_playback_volume)                                                                             \
    X(snd_mixer_selem_get_playback_volume_range)                                                                       \
    X(snd_mixer_selem_has_capture_channel)                                                                             \
    X(snd_mixer_selem_has_capture_switch)                                                                              \
    X(snd_mixer_selem_has_capture_switch_exclusive)                                                                    \
    X(snd_mixer_selem_has_capture_volume)                                                                              \
    X(snd_mixer_selem_has_playback_channel)                                                                            \
    X(snd_mixer_selem_has_playback_volume)                                                                             \
    X(snd_mixer_selem_is_active)                                                                                       \
    X(snd_mixer_selem_is_capture_mono)                                                                                 \
    X(snd_mixer_selem_is_enum_capture)                                                                                 \
    X(snd_mixer_selem_is_enumerated)                                                                                   \
    X(snd_mixer_selem_is_playback_mono)                                                                                \
    X(snd_mixer_selem_register)                                                                                        \
    X(snd_mixer_selem_set_capture_switch_all)                                                                          \
    X(snd_mixer_selem_set_capture_volume)                                                                              \
    X(snd_mixer_selem_set_capture_volume_all)                                                                          \
    X(snd_mixer_selem_set_enum_item)                                                                                   \
    X(snd_mixer_selem_set_playback_volume)                                                                             \
    X(snd_mixer_selem_set_playback_volume_all)                                                                         \
    X(snd_pcm_close)                                                                                                   \
    X(snd_pcm_delay)                                                                                                   \
    X(snd_pcm_drain)                                                                                                   \
    X(snd_pcm_drop)                                                                                                    \
    X(snd_pcm_hw_params)                                                                                               \
    X(snd_pcm_hw_params_any)                                                                                           \
    X(snd_pcm_hw_params_copy)                                                                                          \
    X(snd_pcm_hw_params_free)                                                                                          \
    X(snd_pcm_hw_params_malloc)                                                                                        \
    X(snd_pcm_hw_params_set_access)                                                                                    \
    X(snd_pcm_hw_params_set_buffer_size_near)                                                                          \
    X(snd_pcm_hw_params_set_channels)                                                                                  \
    X(snd_pcm_hw_params_set_format)                                                                                    \
    X(snd_pcm_hw_params_set_period_size_near)                                                                          \
    X(snd_pcm_hw_params_set_rate)                                                                                      \
    X(snd_pcm_open)                                                                                                    \
    X(snd_pcm_prepare)                                                                                                 \
    X(snd_pcm_readi)                                                                                                   \
    X(snd_pcm_recover)                                                                                                 \
    X(snd_pcm_start)                                                                                                   \
    X(snd_pcm_state)                                                                                                   \
    X(snd_pcm_wait)                                                                                                    \
    X(snd_pcm_writei)                                                                                                  \
    X(snd_strerror)

class TAlsaLibrary {
public:
    static constexpr const char* SoName = "libasound.so.2";

    // The shared binding, loaded on first use. Raises EACSException
    // "libasound.so.2 library could not be loaded." when the library is missing or
    // lacks an entry point the devices call (and tries again next time).
    static const TAlsaLibrary& Get();
    // True when Get would succeed; never raises.
    static bool Available() noexcept;

// Name is the member being declared, not an expression to group.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define KESTRUNE_ENTRY(Name) decltype(&::Name) Name = nullptr;
    KESTRUNE_ASOUND_ENTRIES(KESTRUNE_ENTRY)
#undef KESTRUNE_ENTRY

private:
    friend const TAlsaLibrary& PinnedBinding<TAlsaLibrary>();
    TAlsaLibrary();

    TDynamicLibrary Library;
};

inline const TAlsaLibrary& Asound()
{
    return TAlsaLibrary::Get();
}

} // namespace kestrune
