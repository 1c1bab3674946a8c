#include "devices/TDeviceCatalog.h"

#include "devices/TAlsaBackend.h"
#include "devices/TPulseBackend.h"
#include "devices/TVirtualBackend.h"
#include "pipeline/EACSException.h"

namespace kestrune {

namespace {

bool StartsWith(const std::string& S, const std::string& Prefix)
{
    return S.compare(0, Prefix.size(), Prefix) == 0;
}

bool IsVirtualFile(const std::string& Device)
{
    return StartsWith(Device, "virtual:") && Device.size() > 12 && Device != "virtual:demo" &&
           Device != "virtual:null";
}

std::vector<TDeviceInfo> WithConfigured(std::vector<TDeviceInfo> List, const std::string& Configured)
{
    if (!IsVirtualFile(Configured))
        return List;
    for (const TDeviceInfo& D : List)
        if (D.Name == Configured)
            return List;
    List.push_back({Configured, "WAV file " + Configured.substr(8), true});
    return List;
}

template <typename TList>
std::string NameAt(const TList& List, int Index)
{
    if (Index < 0 || static_cast<std::size_t>(Index) >= List.size())
        return {};
    return List[static_cast<std::size_t>(Index)].Name;
}

} // namespace

std::vector<TDeviceInfo> TDeviceCatalog::CaptureDevices()
{
    std::vector<TDeviceInfo> List = TAlsaBackend::CaptureDevices();
    const std::vector<TDeviceInfo> Pulse = TPulseBackend::CaptureDevices();
    List.insert(List.end(), Pulse.begin(), Pulse.end());
    List.push_back({"virtual:demo", "Demo signal: several songs separated by quiet", true});
    return List;
}

std::vector<TDeviceInfo> TDeviceCatalog::CaptureDevices(const std::string& Configured)
{
    return WithConfigured(CaptureDevices(), Configured);
}

std::vector<TDeviceInfo> TDeviceCatalog::PlaybackDevices()
{
    std::vector<TDeviceInfo> List = TAlsaBackend::PlaybackDevices();
    const std::vector<TDeviceInfo> Pulse = TPulseBackend::PlaybackDevices();
    List.insert(List.end(), Pulse.begin(), Pulse.end());
    List.push_back({"virtual:null", "Plays into nothing, in real time", true});
    return List;
}

std::vector<TDeviceInfo> TDeviceCatalog::PlaybackDevices(const std::string& Configured)
{
    return WithConfigured(PlaybackDevices(), Configured);
}

std::vector<TAudioFormat> TDeviceCatalog::CaptureFormats(const std::string& Device)
{
    if (StartsWith(Device, "alsa:"))
        return TAlsaBackend::CaptureFormats(Device.substr(5), QualityFormats());
    if (StartsWith(Device, "pulse:"))
        return TPulseBackend::CaptureFormats(Device.substr(6), QualityFormats());
    if (Device == "virtual:demo" || IsVirtualFile(Device))
        return QualityFormats();
    return {};
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
    static const int Count = static_cast<int>(CaptureDevices().size());
    return Count;
}

int TDeviceCatalog::PlaybackDeviceCount()
{
    static const int Count = static_cast<int>(PlaybackDevices().size());
    return Count;
}

std::string TDeviceCatalog::CaptureDeviceName(int Index)
{
    return NameAt(CaptureDevices(), Index);
}

std::string TDeviceCatalog::PlaybackDeviceName(int Index)
{
    return NameAt(PlaybackDevices(), Index);
}

bool TDeviceCatalog::IsVirtualName(const std::string& Device)
{
    return StartsWith(Device, "virtual:");
}

std::unique_ptr<ICaptureStream> TDeviceCatalog::OpenCapture(const std::string& Device, const TAudioFormat& Format,
                                                            bool RealTime, int TimeoutMs)
{
    if (StartsWith(Device, "alsa:"))
        return TAlsaBackend::OpenCapture(Device.substr(5), Format, TimeoutMs);
    if (StartsWith(Device, "pulse:"))
        return TPulseBackend::OpenCapture(Device.substr(6), Format, TimeoutMs);
    if (Device == "virtual:demo" || IsVirtualFile(Device))
        return TVirtualBackend::OpenCapture(Device.substr(8), Format, RealTime);
    throw EACSException("Unknown capture device \"" + Device + "\"");
}

std::unique_ptr<IPlaybackStream> TDeviceCatalog::OpenPlayback(const std::string& Device, const TAudioFormat& Format,
                                                              bool RealTime, int TimeoutMs)
{
    if (StartsWith(Device, "alsa:"))
        return TAlsaBackend::OpenPlayback(Device.substr(5), Format, TimeoutMs);
    if (StartsWith(Device, "pulse:"))
        return TPulseBackend::OpenPlayback(Device.substr(6), Format, TimeoutMs);
    if (Device == "virtual:null" || IsVirtualFile(Device))
        return TVirtualBackend::OpenPlayback(Device.substr(8), Format, RealTime, TimeoutMs);
    throw EACSException("Unknown playback device \"" + Device + "\"");
}

} // namespace kestrune
