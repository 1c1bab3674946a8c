#include "devices/TPulseBackend.h"

#include "devices/TPulseMixer.h"
#include "pipeline/EACSException.h"

#include "devices/TPulseLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

namespace kestrune {

namespace {

using TClock = std::chrono::steady_clock;

// How long enumeration may wait for a server that does not answer.
constexpr int ListTimeoutMs = 2000;

// A private main loop with one connection to the server, driven by the
// calling thread alone so that every wait can carry a deadline.
class TPulseConnection {
public:
    explicit TPulseConnection(int TimeoutMs) : Timeout(TimeoutMs)
    {
        Loop = Pulse().pa_mainloop_new();
        if (!Loop)
            throw EACSException("The PulseAudio main loop could not be created");
        Context = Pulse().pa_context_new(Pulse().pa_mainloop_get_api(Loop), "Kestrune");
        if (!Context || Pulse().pa_context_connect(Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            Fail("No PulseAudio server answers");
        const bool Ready = IterateUntil(
            [this] {
                const pa_context_state_t S = Pulse().pa_context_get_state(Context);
                return S == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(S);
            },
            Timeout);
        if (!Ready || Pulse().pa_context_get_state(Context) != PA_CONTEXT_READY)
            Fail("No PulseAudio server answers");
    }

    ~TPulseConnection() { Release(); }
    TPulseConnection(const TPulseConnection&) = delete;
    TPulseConnection& operator=(const TPulseConnection&) = delete;

    pa_context* Ctx() const { return Context; }

    // Runs the loop until Done holds or TimeoutMs pass; false on timeout or
    // when the connection broke.
    bool IterateUntil(const std::function<bool()>& Done, int TimeoutMs)
    {
        const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
        while (!Done()) {
            if (Context && !PA_CONTEXT_IS_GOOD(Pulse().pa_context_get_state(Context)))
                return false;
            const auto Left = std::chrono::duration_cast<std::chrono::microseconds>(Deadline - TClock::now());
            if (Left.count() <= 0)
                return false;
            if (Pulse().pa_mainloop_prepare(Loop, static_cast<int>(Left.count())) < 0 ||
                Pulse().pa_mainloop_poll(Loop) < 0 || Pulse().pa_mainloop_dispatch(Loop) < 0)
                return false;
        }
        return true;
    }

    // Handles whatever the server has sent, without waiting.
    void Pump()
    {
        while (Pulse().pa_mainloop_iterate(Loop, 0, nullptr) > 0) {
        }
    }

    // Waits for an operation; false on timeout.
    bool Await(pa_operation* Op, int TimeoutMs)
    {
        if (!Op)
            return false;
        const bool Ok =
            IterateUntil([Op] { return Pulse().pa_operation_get_state(Op) != PA_OPERATION_RUNNING; }, TimeoutMs);
        if (!Ok)
            Pulse().pa_operation_cancel(Op);
        Pulse().pa_operation_unref(Op);
        return Ok;
    }

    std::string LastError() const
    {
        return Context ? Pulse().pa_strerror(Pulse().pa_context_errno(Context)) : "no context";
    }

private:
    [[noreturn]] void Fail(const std::string& Text)
    {
        Release();
        throw EACSException(Text);
    }

    void Release()
    {
        if (Context) {
            Pulse().pa_context_disconnect(Context);
            Pulse().pa_context_unref(Context);
            Context = nullptr;
        }
        if (Loop) {
            Pulse().pa_mainloop_free(Loop);
            Loop = nullptr;
        }
    }

    int Timeout;
    pa_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
};

pa_sample_format_t PulseFormat(int Bits)
{
    switch (Bits) {
    case 8:
        return PA_SAMPLE_U8;
    case 16:
        return PA_SAMPLE_S16LE;
    case 24:
        return PA_SAMPLE_S24LE;
    default:
        return PA_SAMPLE_INVALID;
    }
}

std::string DeviceText(const std::string& Name)
{
    return "The sound device pulse:" + Name;
}

struct TListState {
    std::vector<TDeviceInfo> Devices;
    // For sources: the sink each one monitors ("" for none), in step with Devices.
    std::vector<std::string> MonitorOf;
    bool Done = false;
};

template <typename TInfo>
void Collect(pa_context*, const TInfo* Info, int Eol, void* User)
{
    auto* State = static_cast<TListState*>(User);
    if (Eol) {
        State->Done = true;
        return;
    }
    State->Devices.push_back(
        {std::string("pulse:") + Info->name, Info->description ? Info->description : Info->name, false});
    if constexpr (std::is_same_v<TInfo, pa_source_info>)
        State->MonitorOf.emplace_back(Info->monitor_of_sink_name ? Info->monitor_of_sink_name : "");
}

struct TServerState {
    std::string DefaultSink;
    bool Done = false;
};

void CollectServer(pa_context*, const pa_server_info* Info, void* User)
{
    auto* State = static_cast<TServerState*>(User);
    if (Info && Info->default_sink_name)
        State->DefaultSink = Info->default_sink_name;
    State->Done = true;
}

std::vector<TDeviceInfo> ListDevices(bool Capture)
{
    std::vector<TDeviceInfo> Result;
    try {
        TPulseConnection C(ListTimeoutMs);
        TListState State;
        pa_operation* Op = Capture ? Pulse().pa_context_get_source_info_list(C.Ctx(), &Collect<pa_source_info>, &State)
                                   : Pulse().pa_context_get_sink_info_list(C.Ctx(), &Collect<pa_sink_info>, &State);
        if (!C.Await(Op, ListTimeoutMs) || !State.Done)
            return Result;
        if (Capture) {
            TServerState Server;
            if (C.Await(Pulse().pa_context_get_server_info(C.Ctx(), &CollectServer, &Server), ListTimeoutMs) &&
                !Server.DefaultSink.empty())
                for (std::size_t i = 0; i < State.Devices.size() && i < State.MonitorOf.size(); ++i)
                    State.Devices[i].Preferred = State.MonitorOf[i] == Server.DefaultSink;
        }
        Result.push_back({"pulse:default", Capture ? "PulseAudio default source" : "PulseAudio default sink", false});
        Result.insert(Result.end(), State.Devices.begin(), State.Devices.end());
    } catch (const EACSException&) {
        // No server: no PulseAudio devices.
    }
    return Result;
}

// One stream on a connection of its own.
class TPulseStream {
public:
    TPulseStream(const std::string& Device, const TAudioFormat& F, int TimeoutMs, bool Capture)
        : Name(Device), Timeout(TimeoutMs), Conn(TimeoutMs)
    {
        pa_sample_spec Spec{};
        Spec.format = PulseFormat(F.BitsPerSample);
        Spec.rate = static_cast<std::uint32_t>(F.SampleRate);
        Spec.channels = static_cast<std::uint8_t>(F.Channels);
        if (!Pulse().pa_sample_spec_valid(&Spec))
            throw EACSException(DeviceText(Name) + " does not accept this format");
        Stream = Pulse().pa_stream_new(Conn.Ctx(), Capture ? "Kestrune capture" : "Kestrune playback", &Spec, nullptr);
        if (!Stream)
            throw EACSException(DeviceText(Name) + " could not be opened: " + Conn.LastError());
        pa_buffer_attr Attr;
        Attr.maxlength = static_cast<std::uint32_t>(-1);
        Attr.prebuf = static_cast<std::uint32_t>(-1);
        Attr.minreq = static_cast<std::uint32_t>(-1);
        // The depths the program works with: 4096-byte capture fragments,
        // nine 8192-byte blocks queued for playback.
        Attr.fragsize = 4096;
        Attr.tlength = 9 * 8192;
        const char* Target = Name == "default" ? nullptr : Name.c_str();
        const auto Flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_INTERPOLATE_TIMING);
        const int Err = Capture ? Pulse().pa_stream_connect_record(Stream, Target, &Attr, Flags)
                                : Pulse().pa_stream_connect_playback(Stream, Target, &Attr, Flags, nullptr, nullptr);
        if (Err < 0)
            Fail("could not be opened: " + Conn.LastError());
        const bool Ready = Conn.IterateUntil(
            [this] {
                const pa_stream_state_t S = Pulse().pa_stream_get_state(Stream);
                return S == PA_STREAM_READY || !PA_STREAM_IS_GOOD(S);
            },
            Timeout);
        if (!Ready || Pulse().pa_stream_get_state(Stream) != PA_STREAM_READY)
            Fail("could not be opened: " + Conn.LastError());
    }

    ~TPulseStream() { Release(); }
    TPulseStream(const TPulseStream&) = delete;
    TPulseStream& operator=(const TPulseStream&) = delete;

    [[noreturn]] void Fail(const std::string& What)
    {
        Release();
        throw EACSException(DeviceText(Name) + " " + What);
    }

    void CheckAlive()
    {
        if (!PA_STREAM_IS_GOOD(Pulse().pa_stream_get_state(Stream)))
            Fail("failed: " + Conn.LastError());
    }

    std::string Name;
    int Timeout;
    TPulseConnection Conn;
    pa_stream* Stream = nullptr;

private:
    void Release()
    {
        if (Stream) {
            Pulse().pa_stream_disconnect(Stream);
            Pulse().pa_stream_unref(Stream);
            Stream = nullptr;
        }
    }
};

class TPulseCapture final : public ICaptureStream {
public:
    TPulseCapture(const std::string& Source, const TAudioFormat& F, int TimeoutMs)
        : S(Source, F, TimeoutMs, true), FrameBytes(F.FrameBytes())
    {
    }

    int Read(void* Buffer, int Size) override
    {
        const std::size_t Want = static_cast<std::size_t>(Size / FrameBytes) * static_cast<std::size_t>(FrameBytes);
        if (Want == 0)
            return 0;
        if (PendingPos >= Pending.size() && !Fill())
            S.Fail("stopped delivering audio");
        const std::size_t Count = std::min(Want, Pending.size() - PendingPos);
        std::memcpy(Buffer, Pending.data() + PendingPos, Count);
        PendingPos += Count;
        return static_cast<int>(Count);
    }

private:
    // Takes the next fragment off the server's queue; false after the timeout.
    bool Fill()
    {
        Pending.clear();
        PendingPos = 0;
        const bool Got = S.Conn.IterateUntil(
            [this] {
                S.CheckAlive();
                while (Pulse().pa_stream_readable_size(S.Stream) > 0) {
                    const void* Data = nullptr;
                    std::size_t Len = 0;
                    if (Pulse().pa_stream_peek(S.Stream, &Data, &Len) < 0)
                        S.Fail("failed: " + S.Conn.LastError());
                    if (Len == 0)
                        break;
                    // A hole (Data null) is audio the server lost: nothing to hand out.
                    if (Data)
                        Pending.insert(Pending.end(), static_cast<const std::uint8_t*>(Data),
                                       static_cast<const std::uint8_t*>(Data) + Len);
                    Pulse().pa_stream_drop(S.Stream);
                    if (!Pending.empty())
                        break;
                }
                return !Pending.empty();
            },
            S.Timeout);
        // A fragment is whole frames; keep only those to be safe.
        Pending.resize(Pending.size() / static_cast<std::size_t>(FrameBytes) * static_cast<std::size_t>(FrameBytes));
        return Got && !Pending.empty();
    }

    TPulseStream S;
    int FrameBytes;
    std::vector<std::uint8_t> Pending;
    std::size_t PendingPos = 0;
};

class TPulsePlayback final : public IPlaybackStream {
public:
    TPulsePlayback(const std::string& Sink, const TAudioFormat& F, int TimeoutMs)
        : S(Sink, F, TimeoutMs, false), FrameBytes(F.FrameBytes()), Rate(F.SampleRate)
    {
    }

    void Write(const void* Data, int Size) override
    {
        const auto* P = static_cast<const std::uint8_t*>(Data);
        std::size_t Left = static_cast<std::size_t>(Size / FrameBytes) * static_cast<std::size_t>(FrameBytes);
        while (Left > 0) {
            std::size_t Room = 0;
            const bool Ok = S.Conn.IterateUntil(
                [&] {
                    S.CheckAlive();
                    Room = Pulse().pa_stream_writable_size(S.Stream);
                    return Room != static_cast<std::size_t>(-1) && Room >= static_cast<std::size_t>(FrameBytes);
                },
                S.Timeout);
            if (!Ok)
                S.Fail("stopped taking audio");
            const std::size_t N = std::min(Left, Room / FrameBytes * FrameBytes);
            if (Pulse().pa_stream_write(S.Stream, P, N, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                S.Fail("failed: " + S.Conn.LastError());
            P += N;
            Left -= N;
        }
        S.Conn.Pump();
    }

    std::int64_t QueuedBytes() override
    {
        S.Conn.Pump();
        const pa_timing_info* T = Pulse().pa_stream_get_timing_info(S.Stream);
        if (!T || T->write_index_corrupt || T->read_index_corrupt)
            return 0;
        return std::max<std::int64_t>(0, T->write_index - T->read_index);
    }

    void Drain() override
    {
        bool Done = false;
        pa_operation* Op = Pulse().pa_stream_drain(
            S.Stream, [](pa_stream*, int, void* User) { *static_cast<bool*>(User) = true; }, &Done);
        const std::int64_t PlayMs = QueuedBytes() * 1000 / (static_cast<std::int64_t>(Rate) * FrameBytes);
        if (!S.Conn.Await(Op, static_cast<int>(PlayMs) + S.Timeout) || !Done)
            S.Fail("stopped playing");
    }

private:
    TPulseStream S;
    int FrameBytes;
    int Rate;
};

// The server plays on by itself: a source only knows its name.
class TPulseSource final : public ICaptureSource {
public:
    explicit TPulseSource(std::string SourceName) : Name(std::move(SourceName)) {}
    std::unique_ptr<ICaptureStream> Open(const TAudioFormat& Format, bool, int TimeoutMs) override
    {
        return std::make_unique<TPulseCapture>(Name, Format, TimeoutMs);
    }

private:
    std::string Name;
};

} // namespace

std::vector<TDeviceInfo> TPulseBackend::CaptureDevices()
{
    return ListDevices(true);
}

std::vector<TDeviceInfo> TPulseBackend::PlaybackDevices()
{
    return ListDevices(false);
}

std::vector<TAudioFormat> TPulseBackend::CaptureFormats(const std::string& Source,
                                                        const std::vector<TAudioFormat>& Candidates)
{
    for (const TDeviceInfo& D : CaptureDevices())
        if (D.Name == "pulse:" + Source)
            return Candidates;
    return {};
}

std::unique_ptr<ICaptureSource> TPulseBackend::CaptureSource(const std::string& Source)
{
    return std::make_unique<TPulseSource>(Source);
}

std::unique_ptr<IPlaybackStream> TPulseBackend::OpenPlayback(const std::string& Sink, const TAudioFormat& Format, bool,
                                                             int TimeoutMs)
{
    return std::make_unique<TPulsePlayback>(Sink, Format, TimeoutMs);
}

std::unique_ptr<IMixer> TPulseBackend::OpenMixer(const std::string&)
{
    return TPulseMixer::Open();
}

} // namespace kestrune
