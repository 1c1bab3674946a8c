#include "devices/TDeviceCatalog.h"

#include "devices/TAlsaBackend.h"
#include "devices/TPulseBackend.h"
#include "devices/TVirtualBackend.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace kestrune {

namespace {

struct TRegistry {
    std::mutex Lock;
    std::vector<std::shared_ptr<IDeviceBackend>> Backends{
        std::make_shared<TAlsaBackend>(), std::make_shared<TPulseBackend>(), std::make_shared<TVirtualBackend>()};
};

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

// A copy, so no back-end is asked anything under the lock (a sound server
// may take its time to answer).
std::vector<std::shared_ptr<IDeviceBackend>> Backends()
{
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    return r.Backends;
}

// The back-end of Device's prefix (everything up to the first ':'), with the
// rest of the name; null when none has it.
std::shared_ptr<IDeviceBackend> BackendOf(const std::string& Device, std::string& Rest)
{
    const auto colon = Device.find(':');
    if (colon == std::string::npos)
        return nullptr;
    const std::string prefix = Device.substr(0, colon + 1);
    for (const auto& backend : Backends()) {
        if (backend->Prefix() == prefix) {
            Rest = Device.substr(colon + 1);
            return backend;
        }
    }
    return nullptr;
}

template <typename TList>
std::vector<TDeviceInfo> Gather(TList List)
{
    std::vector<TDeviceInfo> real;
    std::vector<TDeviceInfo> stand_ins;
    for (const auto& backend : Backends()) {
        std::vector<TDeviceInfo> devices = List(*backend);
        auto& into = backend->Virtual() ? stand_ins : real;
        into.insert(into.end(), devices.begin(), devices.end());
    }
    real.insert(real.end(), stand_ins.begin(), stand_ins.end());
    return real;
}

std::vector<TDeviceInfo> WithConfigured(std::vector<TDeviceInfo> List, const std::string& Configured)
{
    if (std::any_of(List.begin(), List.end(), [&](const TDeviceInfo& D) { return D.Name == Configured; }))
        return List;
    std::string rest;
    if (const auto backend = BackendOf(Configured, rest))
        if (std::optional<TDeviceInfo> info = backend->Unlisted(rest))
            List.push_back(*info);
    return List;
}

std::string NameAt(const std::vector<TDeviceInfo>& List, int Index)
{
    if (Index < 0 || static_cast<std::size_t>(Index) >= List.size())
        return {};
    return List[static_cast<std::size_t>(Index)].Name;
}

const std::vector<TDeviceInfo>& CaptureSnapshot()
{
    static const std::vector<TDeviceInfo> list = TDeviceCatalog::CaptureDevices();
    return list;
}

const std::vector<TDeviceInfo>& PlaybackSnapshot()
{
    static const std::vector<TDeviceInfo> list = TDeviceCatalog::PlaybackDevices();
    return list;
}

} // namespace

void TDeviceCatalog::Register(std::shared_ptr<IDeviceBackend> Backend)
{
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    const std::string prefix = Backend->Prefix();
    for (const auto& known : r.Backends)
        if (known->Prefix() == prefix)
            throw std::invalid_argument("a sound device back-end for \"" + prefix + "\" is registered already");
    r.Backends.push_back(std::move(Backend));
}

std::vector<TDeviceInfo> TDeviceCatalog::CaptureDevices()
{
    return Gather([](IDeviceBackend& B) { return B.CaptureDevices(); });
}

std::vector<TDeviceInfo> TDeviceCatalog::CaptureDevices(const std::string& Configured)
{
    return WithConfigured(CaptureDevices(), Configured);
}

std::vector<TDeviceInfo> TDeviceCatalog::PlaybackDevices()
{
    return Gather([](IDeviceBackend& B) { return B.PlaybackDevices(); });
}

std::vector<TDeviceInfo> TDeviceCatalog::PlaybackDevices(const std::string& Configured)
{
    return WithConfigured(PlaybackDevices(), Configured);
}

std::vector<TAudioFormat> TDeviceCatalog::CaptureFormats(const std::string& Device)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    return backend ? backend->CaptureFormats(rest, QualityFormats()) : std::vector<TAudioFormat>{};
}

const std::vector<TAudioFormat>& TDeviceCatalog::QualityFormats()
{
    static const std::vector<TAudioFormat> List = [] {
        std::vector<TAudioFormat> L;
        for (int Rate : {11025, 22050, 44100})
            for (auto [Channels, Bits] : {std::pair{1, 8}, {1, 16}, {2, 8}, {2, 16}})
                L.push_back({Rate, Bits, Channels});
        return L;
    }();
    return List;
}

std::string TDeviceCatalog::QualityString(const TAudioFormat& F)
{
    std::string Rate;
    switch (F.SampleRate) {
    case 11025:
        Rate = "11025 Hz, ";
        break;
    case 22050:
        Rate = "22050  Hz, ";
        break;
    case 44100:
        Rate = "44100   Hz, ";
        break;
    default:
        return {};
    }
    if ((F.Channels != 1 && F.Channels != 2) || (F.BitsPerSample != 8 && F.BitsPerSample != 16))
        return {};
    return Rate + (F.Channels == 1 ? "Mono,   " : "Stereo, ") + (F.BitsPerSample == 8 ? "8-bit" : "16-bit");
}

int TDeviceCatalog::CaptureDeviceCount()
{
    return static_cast<int>(CaptureSnapshot().size());
}

int TDeviceCatalog::PlaybackDeviceCount()
{
    return static_cast<int>(PlaybackSnapshot().size());
}

std::string TDeviceCatalog::CaptureDeviceName(int Index)
{
    return NameAt(CaptureSnapshot(), Index);
}

std::string TDeviceCatalog::PlaybackDeviceName(int Index)
{
    return NameAt(PlaybackSnapshot(), Index);
}

bool TDeviceCatalog::IsVirtualName(const std::string& Device)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    return backend && backend->Virtual();
}

std::unique_ptr<ICaptureSource> TDeviceCatalog::CaptureSource(const std::string& Device)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    if (!backend)
        throw EACSException("Unknown capture device \"" + Device + "\"");
    return backend->CaptureSource(rest);
}

std::unique_ptr<IPlaybackStream> TDeviceCatalog::OpenPlayback(const std::string& Device, const TAudioFormat& Format,
                                                              bool RealTime, int TimeoutMs)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    if (!backend)
        throw EACSException("Unknown playback device \"" + Device + "\"");
    return backend->OpenPlayback(rest, Format, RealTime, TimeoutMs);
}

std::unique_ptr<IMixer> TDeviceCatalog::OpenMixer(const std::string& Device)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    return backend ? backend->OpenMixer(rest) : nullptr;
}

std::string TDeviceCatalog::MixerKey(const std::string& Device)
{
    std::string rest;
    const auto backend = BackendOf(Device, rest);
    return backend ? backend->MixerKey(rest) : Device;
}

} // namespace kestrune
