#pragma once

#include "codecs/TDynamicLibrary.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace kestrune {

// The entry points of libpulse (the PulseAudio client, which PipeWire's
// server also answers) that the PulseAudio devices and mixer call. Only the
// headers come from the library at build time; every call goes through these
// pointers, looked up by name from "libpulse.so.0" when a job first needs the
// library, so a job that does not use it never loads it (nor what it pulls
// in), and the program runs without it: its devices are simply not there.
//
// Entry points keep the library's own names, so a call reads as the
// library's documentation writes it: Pulse().pa_context_connect(...).
#define KESTRUNE_PULSE_ENTRIES(X)                                                                                      \
    X(pa_context_connect)                                                                                              \
    X(pa_context_disconnect)                                                                                           \
    X(pa_context_errno)                                                                                                \
    X(pa_context_get_server_info)                                                                                      \
    X(pa_context_get_sink_info_by_name)                                                                                \
    X(pa_context_get_sink_info_list)                                                                                   \
    X(pa_context_get_source_info_by_name)                                                                              \
    X(pa_context_get_source_info_list)                                                                                 \
    X(pa_context_get_state)                                                                                            \
    X(pa_context_new)                                                                                                  \
    X(pa_context_rttime_new)                                                                                           \
    X(pa_context_set_default_source)                                                                                   \
    X(pa_context_set_sink_volume_by_name)                                                                              \
    X(pa_context_set_source_volume_by_name)                                                                            \
    X(pa_context_set_state_callback)                                                                                   \
    X(pa_context_set_subscribe_callback)                                                                               \
    X(pa_context_subscribe)                                                                                            \
    X(pa_context_unref)                                                                                                \
    X(pa_cvolume_max)                                                                                                  \
    X(pa_mainloop_dispatch)                                                                                            \
    X(pa_mainloop_free)                                                                                                \
    X(pa_mainloop_get_api)                                                                                             \
    X(pa_mainloop_iterate)                                                                                             \
    X(pa_mainloop_new)                                                                                                 \
    X(pa_mainloop_poll)                                                                                                \
    X(pa_mainloop_prepare)                                                                                             \
    X(pa_operation_cancel)                                                                                             \
    X(pa_operation_get_state)                                                                                          \
    X(pa_operation_set_state_callback)                                                                                 \
    X(pa_operation_unref)                                                                                              \
    X(pa_rtclock_now)                                                                                                  \
    X(pa_sample_spec_valid)                                                                                            \
    X(pa_stream_connect_playback)                                                                                      \
    X(pa_stream_connect_record)                                                                                        \
    X(pa_stream_disconnect)                                                                                            \
    X(pa_stream_drain)                                                                                                 \
    X(pa_stream_drop)                                                                                                  \
    X(pa_stream_get_state)                                                                                             \
    X(pa_stream_get_timing_info)                                                                                       \
    X(pa_stream_new)                                                                                                   \
    X(pa_stream_peek)                                                                                                  \
    X(pa_stream_readable_size)                                                                                         \
    X(pa_stream_unref)                                                                                                 \
    X(pa_stream_writable_size)                                                                                         \
    X(pa_stream_write)                                                                                                 \
    X(pa_strerror)                                                                                                     \
    X(pa_threaded_mainloop_free)                                                                                       \
    X(pa_threaded_mainloop_get_api)                                                                                    \
    X(pa_threaded_mainloop_lock)                                                                                       \
    X(pa_threaded_mainloop_new)                                                                                        \
    X(pa_threaded_mainloop_signal)                                                                                     \
    X(pa_threaded_mainloop_start)                                                                                      \
    X(pa_threaded_mainloop_stop)                                                                                       \
    X(pa_threaded_mainloop_unlock)                                                                                     \
    X(pa_threaded_mainloop_wait)

class TPulseLibrary {
public:
    static constexpr const char* SoName = "libpulse.so.0";

    // The shared binding, loaded on first use. Raises EACSException
    // "libpulse.so.0 library could not be loaded." when the library is missing or
    // lacks an entry point the devices call (and tries again next time).
    static const TPulseLibrary& Get();
    // True when Get would succeed; never raises.
    static bool Available() noexcept;

// Name is the member being declared, not an expression to group.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define KESTRUNE_ENTRY(Name) decltype(&::Name) Name = nullptr;
    KESTRUNE_PULSE_ENTRIES(KESTRUNE_ENTRY)
#undef KESTRUNE_ENTRY

private:
    friend const TPulseLibrary& PinnedBinding<TPulseLibrary>();
    TPulseLibrary();

    TDynamicLibrary Library;
};

inline const TPulseLibrary& Pulse()
{
    return TPulseLibrary::Get();
}

} // namespace kestrune
