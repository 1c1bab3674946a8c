#include "devices/TAlsaBackend.h"

#include "devices/TAlsaMixer.h"
#include "pipeline/EACSException.h"

#include "devices/TAlsaLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>

namespace kestrune {

namespace {

// alsa-lib prints its own complaints on stderr; the program reports errors
// itself, so those would only clutter the command line's output.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaOnce()
{
    static std::once_flag Once;
    std::call_once(Once, [] { Asound().snd_lib_error_set_handler(&QuietAlsa); });
}

snd_pcm_format_t AlsaFormat(int Bits)
{
    switch (Bits) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 24:
        return SND_PCM_FORMAT_S24_3LE;
    default:
        return SND_PCM_FORMAT_UNKNOWN;
    }
}

std::string DeviceText(const std::string& PcmName)
{
    return "The sound device alsa:" + PcmName;
}

struct TPcmCloser {
    void operator()(snd_pcm_t* Pcm) const
    {
        Asound().snd_pcm_drop(Pcm);
        Asound().snd_pcm_close(Pcm);
    }
};
using TPcmHandle = std::unique_ptr<snd_pcm_t, TPcmCloser>;

struct THwParamsFree {
    void operator()(snd_pcm_hw_params_t* P) const { Asound().snd_pcm_hw_params_free(P); }
};
using THwParams = std::unique_ptr<snd_pcm_hw_params_t, THwParamsFree>;

THwParams NewHwParams()
{
    snd_pcm_hw_params_t* P = nullptr;
    if (Asound().snd_pcm_hw_params_malloc(&P) < 0)
        throw EACSException("Out of memory for the sound device's parameters");
    return THwParams(P);
}

// True when Params (already restricted to the device's space) admit the
// format exactly; Params are narrowed down to it.
bool Restrict(snd_pcm_t* Pcm, snd_pcm_hw_params_t* Params, const TAudioFormat& F)
{
    const snd_pcm_format_t Fmt = AlsaFormat(F.BitsPerSample);
    return Fmt != SND_PCM_FORMAT_UNKNOWN &&
           Asound().snd_pcm_hw_params_set_access(Pcm, Params, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
           Asound().snd_pcm_hw_params_set_format(Pcm, Params, Fmt) == 0 &&
           Asound().snd_pcm_hw_params_set_channels(Pcm, Params, static_cast<unsigned>(F.Channels)) == 0 &&
           Asound().snd_pcm_hw_params_set_rate(Pcm, Params, static_cast<unsigned>(F.SampleRate), 0) == 0;
}

TPcmHandle OpenPcm(const std::string& PcmName, snd_pcm_stream_t Stream)
{
    SilenceAlsaOnce();
    snd_pcm_t* Pcm = nullptr;
    const int Err = Asound().snd_pcm_open(&Pcm, PcmName.c_str(), Stream, SND_PCM_NONBLOCK);
    if (Err < 0)
        throw EACSException(DeviceText(PcmName) + " could not be opened: " + Asound().snd_strerror(Err));
    return TPcmHandle(Pcm);
}

// Sets the format, a period of PeriodBytes and a buffer of Periods periods.
void Configure(snd_pcm_t* Pcm, const std::string& PcmName, const TAudioFormat& F, int PeriodBytes, int Periods)
{
    THwParams P = NewHwParams();
    Asound().snd_pcm_hw_params_any(Pcm, P.get());
    if (!Restrict(Pcm, P.get(), F))
        throw EACSException(DeviceText(PcmName) + " does not accept " + std::to_string(F.SampleRate) + " Hz, " +
                            std::to_string(F.Channels) + " channel(s), " + std::to_string(F.BitsPerSample) + "-bit");
    snd_pcm_uframes_t Period = static_cast<snd_pcm_uframes_t>(PeriodBytes / F.FrameBytes());
    int Dir = 0;
    Asound().snd_pcm_hw_params_set_period_size_near(Pcm, P.get(), &Period, &Dir);
    snd_pcm_uframes_t Buffer = Period * static_cast<snd_pcm_uframes_t>(Periods);
    Asound().snd_pcm_hw_params_set_buffer_size_near(Pcm, P.get(), &Buffer);
    const int Err = Asound().snd_pcm_hw_params(Pcm, P.get());
    if (Err < 0)
        throw EACSException(DeviceText(PcmName) + " could not be set up: " + Asound().snd_strerror(Err));
    Asound().snd_pcm_prepare(Pcm);
}

// Waits for the device to become ready; raises when it stays silent.
void WaitReady(snd_pcm_t* Pcm, const std::string& PcmName, int TimeoutMs, const char* What)
{
    const int R = Asound().snd_pcm_wait(Pcm, TimeoutMs);
    if (R == 0)
        throw EACSException(DeviceText(PcmName) + What);
    if (R < 0 && R != -EPIPE && R != -ESTRPIPE)
        throw EACSException(DeviceText(PcmName) + " failed: " + Asound().snd_strerror(R));
}

class TAlsaCapture final : public ICaptureStream {
public:
    TAlsaCapture(const std::string& PcmName, const TAudioFormat& F, int TimeoutMs)
        : Name(PcmName), FrameBytes(F.FrameBytes()), Timeout(TimeoutMs), Pcm(OpenPcm(PcmName, SND_PCM_STREAM_CAPTURE))
    {
        // Four 4096-byte buffers were queued at the device: the same depth
        // here, with one period spare so a late reader loses nothing.
        Configure(Pcm.get(), Name, F, 4096, 5);
        const int Err = Asound().snd_pcm_start(Pcm.get());
        if (Err < 0)
            throw EACSException(DeviceText(Name) + " could not start capturing: " + Asound().snd_strerror(Err));
    }

    int Read(void* Buffer, int Size) override
    {
        const snd_pcm_uframes_t Frames = static_cast<snd_pcm_uframes_t>(Size / FrameBytes);
        if (Frames == 0)
            return 0;
        for (int Recoveries = 0;;) {
            const snd_pcm_sframes_t N = Asound().snd_pcm_readi(Pcm.get(), Buffer, Frames);
            if (N > 0)
                return static_cast<int>(N) * FrameBytes;
            if (N == -EAGAIN || N == 0) {
                WaitReady(Pcm.get(), Name, Timeout, " stopped delivering audio");
                continue;
            }
            // An overrun: audio was lost while nobody read; go on like a card.
            if (++Recoveries > 8 || Asound().snd_pcm_recover(Pcm.get(), static_cast<int>(N), 1) < 0)
                throw EACSException(DeviceText(Name) + " failed: " + Asound().snd_strerror(static_cast<int>(N)));
            Asound().snd_pcm_start(Pcm.get());
        }
    }

private:
    std::string Name;
    int FrameBytes;
    int Timeout;
    TPcmHandle Pcm;
};

class TAlsaPlayback final : public IPlaybackStream {
public:
    TAlsaPlayback(const std::string& PcmName, const TAudioFormat& F, int TimeoutMs)
        : Name(PcmName), FrameBytes(F.FrameBytes()), Rate(F.SampleRate), Timeout(TimeoutMs),
          Pcm(OpenPcm(PcmName, SND_PCM_STREAM_PLAYBACK))
    {
        // Room for the nine 8192-byte buffers a step may leave queued, and one more.
        Configure(Pcm.get(), Name, F, 8192, 10);
    }

    void Write(const void* Data, int Size) override
    {
        const auto* P = static_cast<const unsigned char*>(Data);
        snd_pcm_uframes_t Left = static_cast<snd_pcm_uframes_t>(Size / FrameBytes);
        int Recoveries = 0;
        while (Left > 0) {
            const snd_pcm_sframes_t N = Asound().snd_pcm_writei(Pcm.get(), P, Left);
            if (N > 0) {
                P += N * FrameBytes;
                Left -= static_cast<snd_pcm_uframes_t>(N);
            } else if (N == -EAGAIN || N == 0) {
                WaitReady(Pcm.get(), Name, Timeout, " stopped taking audio");
            } else if (++Recoveries > 8 || Asound().snd_pcm_recover(Pcm.get(), static_cast<int>(N), 1) < 0) {
                throw EACSException(DeviceText(Name) + " failed: " + Asound().snd_strerror(static_cast<int>(N)));
            }
        }
    }

    std::int64_t QueuedBytes() override
    {
        snd_pcm_sframes_t Delay = 0;
        if (Asound().snd_pcm_delay(Pcm.get(), &Delay) < 0 || Delay < 0)
            return 0;
        return static_cast<std::int64_t>(Delay) * FrameBytes;
    }

    void Drain() override
    {
        using namespace std::chrono;
        const auto Deadline = steady_clock::now() +
                              milliseconds(QueuedBytes() * 1000 / (static_cast<std::int64_t>(Rate) * FrameBytes)) +
                              milliseconds(Timeout);
        // Non-blocking drain: it returns -EAGAIN while the device still plays.
        int R = Asound().snd_pcm_drain(Pcm.get());
        while (R == -EAGAIN && Asound().snd_pcm_state(Pcm.get()) == SND_PCM_STATE_DRAINING) {
            if (steady_clock::now() > Deadline)
                throw EACSException(DeviceText(Name) + " stopped playing");
            Asound().snd_pcm_wait(Pcm.get(), 100);
        }
    }

private:
    std::string Name;
    int FrameBytes;
    int Rate;
    int Timeout;
    TPcmHandle Pcm;
};

// A card plays on by itself: its source only knows its name.
class TAlsaSource final : public ICaptureSource {
public:
    explicit TAlsaSource(std::string PcmName) : Name(std::move(PcmName)) {}
    std::unique_ptr<ICaptureStream> Open(const TAudioFormat& Format, bool, int TimeoutMs) override
    {
        return std::make_unique<TAlsaCapture>(Name, Format, TimeoutMs);
    }

private:
    std::string Name;
};

// Devices of cards and sound servers; the plugin definitions ALSA also
// lists (rate converters, jack, oss, up- and downmixers) are no devices.
bool IsDeviceName(const std::string& Name)
{
    static const char* const Whole[] = {"default", "pulse", "pipewire"};
    static const char* const Prefixes[] = {"default:", "sysdefault", "hw:", "plughw:", "front:", "dsnoop:", "dmix:"};
    for (const char* W : Whole)
        if (Name == W)
            return true;
    for (const char* P : Prefixes)
        if (Name.rfind(P, 0) == 0)
            return true;
    return false;
}

// A device that cannot be opened at all (a server that is not running, a
// card that is gone) is not offered; one that is busy still is.
bool CanOpen(const std::string& Name, snd_pcm_stream_t Stream)
{
    snd_pcm_t* Pcm = nullptr;
    const int Err = Asound().snd_pcm_open(&Pcm, Name.c_str(), Stream, SND_PCM_NONBLOCK);
    if (Err < 0)
        return Err == -EBUSY;
    Asound().snd_pcm_close(Pcm);
    return true;
}

std::vector<TDeviceInfo> ListDevices(const char* Direction)
{
    SilenceAlsaOnce();
    std::vector<TDeviceInfo> Result;
    void** Hints = nullptr;
    if (Asound().snd_device_name_hint(-1, "pcm", &Hints) < 0 || !Hints)
        return Result;
    for (void** H = Hints; *H; ++H) {
        char* Name = Asound().snd_device_name_get_hint(*H, "NAME");
        char* Desc = Asound().snd_device_name_get_hint(*H, "DESC");
        char* Io = Asound().snd_device_name_get_hint(*H, "IOID");
        // No IOID means the device does both.
        const bool Fits = !Io || std::string(Io) == Direction;
        const snd_pcm_stream_t Stream =
            std::string(Direction) == "Input" ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
        if (Name && Fits && IsDeviceName(Name) && CanOpen(Name, Stream)) {
            std::string D = Desc ? Desc : Name;
            std::replace(D.begin(), D.end(), '\n', ' ');
            Result.push_back({std::string("alsa:") + Name, D, false});
        }
        free(Name);
        free(Desc);
        free(Io);
    }
    Asound().snd_device_name_free_hint(Hints);
    return Result;
}

} // namespace

std::vector<TDeviceInfo> TAlsaBackend::CaptureDevices()
{
    return TAlsaLibrary::Available() ? ListDevices("Input") : std::vector<TDeviceInfo>{};
}

std::vector<TDeviceInfo> TAlsaBackend::PlaybackDevices()
{
    return TAlsaLibrary::Available() ? ListDevices("Output") : std::vector<TDeviceInfo>{};
}

std::vector<TAudioFormat> TAlsaBackend::CaptureFormats(const std::string& PcmName,
                                                       const std::vector<TAudioFormat>& Candidates)
{
    std::vector<TAudioFormat> Result;
    TPcmHandle Pcm;
    try {
        Pcm = OpenPcm(PcmName, SND_PCM_STREAM_CAPTURE);
    } catch (const EACSException&) {
        return Result;
    }
    THwParams All = NewHwParams();
    THwParams Trial = NewHwParams();
    if (Asound().snd_pcm_hw_params_any(Pcm.get(), All.get()) < 0)
        return Result;
    for (const TAudioFormat& F : Candidates) {
        Asound().snd_pcm_hw_params_copy(Trial.get(), All.get());
        if (Restrict(Pcm.get(), Trial.get(), F))
            Result.push_back(F);
    }
    return Result;
}

std::unique_ptr<ICaptureSource> TAlsaBackend::CaptureSource(const std::string& PcmName)
{
    return std::make_unique<TAlsaSource>(PcmName);
}

std::unique_ptr<IPlaybackStream> TAlsaBackend::OpenPlayback(const std::string& PcmName, const TAudioFormat& Format,
                                                            bool, int TimeoutMs)
{
    return std::make_unique<TAlsaPlayback>(PcmName, Format, TimeoutMs);
}

std::unique_ptr<IMixer> TAlsaBackend::OpenMixer(const std::string& PcmName)
{
    return TAlsaMixer::Open(TAlsaMixer::ControlNameFor(PcmName));
}

std::string TAlsaBackend::MixerKey(const std::string& PcmName)
{
    return "alsa:" + TAlsaMixer::ControlNameFor(PcmName);
}

} // namespace kestrune
