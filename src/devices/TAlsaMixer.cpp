#include "devices/TAlsaMixer.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace kestrune {

namespace {

// alsa-lib prints its complaints on stderr; the program reports failures itself.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

int ChannelCount(snd_mixer_elem_t* Element, bool Playback)
{
    if (Playback ? Asound().snd_mixer_selem_is_playback_mono(Element)
                 : Asound().snd_mixer_selem_is_capture_mono(Element))
        return 1;
    int count = 0;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
        if (Playback ? Asound().snd_mixer_selem_has_playback_channel(Element, channel)
                     : Asound().snd_mixer_selem_has_capture_channel(Element, channel))
            ++count;
    }
    return std::max(count, 1);
}

std::string ElementName(snd_mixer_elem_t* Element)
{
    std::string name = Asound().snd_mixer_selem_get_name(Element);
    if (const unsigned index = Asound().snd_mixer_selem_get_index(Element); index > 0)
        name += " " + std::to_string(index);
    return name;
}

std::uint16_t ToSixteen(long Raw, long Min, long Max)
{
    if (Max <= Min)
        return 0;
    Raw = std::clamp(Raw, Min, Max);
    const long long range = Max - Min;
    return static_cast<std::uint16_t>(((Raw - Min) * 65535LL + range / 2) / range);
}

long FromSixteen(std::uint16_t Value, long Min, long Max)
{
    if (Max <= Min)
        return Min;
    const long long range = Max - Min;
    return Min + static_cast<long>((Value * range + 32767) / 65535);
}

} // namespace

TAlsaMixer::TAlsaMixer(const std::string& CtlName)
{
    Asound().snd_lib_error_set_handler(&SilentAlsaErrors);
    snd_mixer_t* raw = nullptr;
    if (Asound().snd_mixer_open(&raw, 0) < 0)
        throw std::runtime_error("cannot open a mixer");
    Handle.reset(raw);
    snd_hctl_t* hctl = nullptr;
    int error = Asound().snd_hctl_open(&hctl, CtlName.c_str(), SND_CTL_NONBLOCK);
    if (error >= 0) {
        error = Asound().snd_mixer_attach_hctl(raw, hctl); // the mixer closes hctl from now on, also on failure
    }
    if (error >= 0)
        error = Asound().snd_mixer_selem_register(raw, nullptr, nullptr);
    if (error >= 0)
        error = Asound().snd_mixer_load(raw);
    if (error < 0)
        throw std::runtime_error("cannot open the mixer of " + CtlName + ": " + Asound().snd_strerror(error));
    BuildModel();

    if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot open the mixer of " + CtlName + ": no pipe");
    Events = std::thread([this] { EventLoop(); });
}

TAlsaMixer::~TAlsaMixer()
{
    Stopping = true;
    if (WakePipe[1] >= 0) {
        const char wake = 1;
        [[maybe_unused]] const ssize_t n = ::write(WakePipe[1], &wake, 1);
    }
    if (Events.joinable())
        Events.join();
    for (int fd : WakePipe)
        if (fd >= 0)
            ::close(fd);
    // Closing reports every element as removed; nothing may hear of it any more.
    if (Master)
        Asound().snd_mixer_elem_set_callback(Master, nullptr);
    Handle.reset();
}

std::unique_ptr<TAlsaMixer> TAlsaMixer::Open(const std::string& CtlName)
{
    try {
        return std::make_unique<TAlsaMixer>(CtlName);
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::string TAlsaMixer::ControlNameFor(const std::string& PcmName)
{
    if (const auto card = PcmName.find("CARD="); card != std::string::npos) {
        const std::string rest = PcmName.substr(card + 5);
        return "hw:" + rest.substr(0, rest.find(','));
    }
    for (const char* prefix : {"hw:", "plughw:"}) {
        if (PcmName.rfind(prefix, 0) == 0) {
            const std::string rest = PcmName.substr(std::strlen(prefix));
            return "hw:" + rest.substr(0, rest.find(','));
        }
    }
    return PcmName;
}

void TAlsaMixer::BuildModel()
{
    snd_mixer_elem_t* captureElement = nullptr;
    snd_mixer_elem_t* enumeration = nullptr;
    std::vector<snd_mixer_elem_t*> switches;
    snd_mixer_elem_t* pcm = nullptr;
    for (snd_mixer_elem_t* e = Asound().snd_mixer_first_elem(Handle.get()); e; e = Asound().snd_mixer_elem_next(e)) {
        if (!Asound().snd_mixer_selem_is_active(e))
            continue;
        const std::string name = Asound().snd_mixer_selem_get_name(e);
        if (name == "Capture" && Asound().snd_mixer_selem_has_capture_volume(e))
            captureElement = e;
        // HDA cards name their selector "Input Source", a plain enumeration.
        if (!enumeration &&
            (Asound().snd_mixer_selem_is_enum_capture(e) ||
             (Asound().snd_mixer_selem_is_enumerated(e) && (name == "Input Source" || name == "Capture Source"))))
            enumeration = e;
        if (Asound().snd_mixer_selem_has_capture_switch(e))
            switches.push_back(e);
        if (Asound().snd_mixer_selem_has_playback_volume(e)) {
            if (name == "Master" && !Master)
                Master = e;
            else if (name == "PCM" && !pcm)
                pcm = e;
        }
    }
    if (!Master)
        Master = pcm;

    if (enumeration) {
        Kind = TSelectorKind::skMux;
        const int items = Asound().snd_mixer_selem_get_enum_items(enumeration);
        snd_mixer_elem_t* volume =
            Asound().snd_mixer_selem_has_capture_volume(enumeration) ? enumeration : captureElement;
        for (int i = 0; i < items; ++i) {
            char text[128] = {};
            if (Asound().snd_mixer_selem_get_enum_item_name(enumeration, static_cast<unsigned>(i), sizeof text - 1,
                                                            text) < 0)
                continue;
            Sources.push_back({text, enumeration, i, volume});
        }
    } else {
        // The card's overall capture switch is a line of its own only when nothing else is.
        if (switches.size() > 1)
            switches.erase(std::remove_if(switches.begin(), switches.end(),
                                          [](snd_mixer_elem_t* e) {
                                              return std::strcmp(Asound().snd_mixer_selem_get_name(e), "Capture") == 0;
                                          }),
                           switches.end());
        const bool exclusive = std::any_of(switches.begin(), switches.end(), [](snd_mixer_elem_t* e) {
            return Asound().snd_mixer_selem_has_capture_switch_exclusive(e) != 0;
        });
        Kind = exclusive ? TSelectorKind::skMux : TSelectorKind::skMixer;
        for (snd_mixer_elem_t* e : switches)
            Sources.push_back(
                {ElementName(e), e, -1, Asound().snd_mixer_selem_has_capture_volume(e) ? e : captureElement});
    }

    if (Master) {
        Asound().snd_mixer_elem_set_callback_private(Master, this);
        Asound().snd_mixer_elem_set_callback(Master, &TAlsaMixer::ElementEvent);
    }
}

int TAlsaMixer::ElementEvent(snd_mixer_elem_t* Element, unsigned int Mask)
{
    auto* self = static_cast<TAlsaMixer*>(Asound().snd_mixer_elem_get_callback_private(Element));
    if (self && Mask != SND_CTL_EVENT_MASK_REMOVE && (Mask & SND_CTL_EVENT_MASK_VALUE) && Element == self->Master)
        self->Pending.push_back(kMasterId);
    return 0;
}

void TAlsaMixer::Pump()
{
    const int count = Asound().snd_mixer_poll_descriptors_count(Handle.get());
    if (count <= 0)
        return;
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    if (Asound().snd_mixer_poll_descriptors(Handle.get(), fds.data(), static_cast<unsigned>(count)) < 0)
        return;
    if (::poll(fds.data(), fds.size(), 0) > 0)
        Asound().snd_mixer_handle_events(Handle.get());
}

void TAlsaMixer::Deliver()
{
    std::vector<std::uint32_t> changed;
    {
        std::lock_guard lock(Mutex);
        changed.swap(Pending);
    }
    if (changed.empty())
        return;
    TControlChange handler;
    {
        std::lock_guard lock(HandlerMutex);
        handler = OnChange;
    }
    if (!handler)
        return;
    // One report per control is enough for a batch of events.
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    for (std::uint32_t id : changed)
        handler(id);
}

void TAlsaMixer::EventLoop()
{
    while (!Stopping) {
        std::vector<pollfd> fds;
        {
            std::lock_guard lock(Mutex);
            const int count = Asound().snd_mixer_poll_descriptors_count(Handle.get());
            if (count > 0) {
                fds.resize(static_cast<std::size_t>(count));
                if (Asound().snd_mixer_poll_descriptors(Handle.get(), fds.data(), static_cast<unsigned>(count)) < 0)
                    fds.clear();
            }
        }
        fds.push_back({WakePipe[0], POLLIN, 0});
        // The timeout only bounds how long a missed wake-up could delay the end.
        const int ready = ::poll(fds.data(), fds.size(), 500);
        if (Stopping)
            break;
        if (ready > 0 && fds.size() > 1) {
            bool mixerReady = false;
            for (std::size_t i = 0; i + 1 < fds.size(); ++i)
                mixerReady = mixerReady || fds[i].revents != 0;
            if (mixerReady) {
                std::lock_guard lock(Mutex);
                Asound().snd_mixer_handle_events(Handle.get());
            }
        }
        Deliver();
    }
}

bool TAlsaMixer::GetDestination(int& Channels, int& Connections)
{
    std::lock_guard lock(Mutex);
    if (Sources.empty())
        return false;
    Channels = 2;
    Connections = static_cast<int>(Sources.size());
    return true;
}

bool TAlsaMixer::GetSourceLine(int SourceIndex, std::string& Name, int& Channels)
{
    std::lock_guard lock(Mutex);
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Sources.size()))
        return false;
    const TSource& source = Sources[static_cast<std::size_t>(SourceIndex)];
    Name = source.Name;
    Channels = source.Volume ? ChannelCount(source.Volume, false) : 2;
    return true;
}

bool TAlsaMixer::FindSelector(TSelectorKind Wanted, std::uint32_t& ControlId, int& Items)
{
    std::lock_guard lock(Mutex);
    if (Sources.empty() || Wanted != Kind)
        return false;
    ControlId = kSelectorId;
    Items = static_cast<int>(Sources.size());
    return true;
}

bool TAlsaMixer::ReadSelectorNames(std::uint32_t ControlId, int Items, int Channels, std::vector<std::string>& Names)
{
    std::lock_guard lock(Mutex);
    if (ControlId != kSelectorId || Items != static_cast<int>(Sources.size()) || Channels <= 0)
        return false;
    Names.clear();
    for (const TSource& source : Sources)
        Names.insert(Names.end(), static_cast<std::size_t>(Channels), source.Name);
    return true;
}

bool TAlsaMixer::ReadSelectorValues(std::uint32_t ControlId, int Items, int Channels, std::vector<bool>& Values)
{
    std::lock_guard lock(Mutex);
    if (ControlId != kSelectorId || Items != static_cast<int>(Sources.size()) || Channels <= 0)
        return false;
    Pump();
    std::vector<bool> values;
    for (const TSource& source : Sources) {
        bool on = false;
        if (source.EnumItem >= 0) {
            unsigned item = 0;
            if (Asound().snd_mixer_selem_get_enum_item(source.Switch, SND_MIXER_SCHN_FRONT_LEFT, &item) < 0)
                return false;
            on = static_cast<int>(item) == source.EnumItem;
        } else {
            int value = 0;
            if (Asound().snd_mixer_selem_get_capture_switch(source.Switch, SND_MIXER_SCHN_FRONT_LEFT, &value) < 0)
                return false;
            on = value != 0;
        }
        values.insert(values.end(), static_cast<std::size_t>(Channels), on);
    }
    Values = std::move(values);
    return true;
}

bool TAlsaMixer::WriteSelectorValues(std::uint32_t ControlId, int Items, int Channels, const std::vector<bool>& Values)
{
    std::lock_guard lock(Mutex);
    if (ControlId != kSelectorId || Items != static_cast<int>(Sources.size()) || Channels <= 0 ||
        Values.size() < Sources.size() * static_cast<std::size_t>(Channels))
        return false;
    bool ok = true;
    if (Kind == TSelectorKind::skMux) {
        // One line records; switching it on switches the others off.
        for (std::size_t k = 0; k < Sources.size(); ++k) {
            if (!Values[k * static_cast<std::size_t>(Channels)])
                continue;
            const TSource& source = Sources[k];
            if (source.EnumItem >= 0) {
                for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
                    const int error = Asound().snd_mixer_selem_set_enum_item(
                        source.Switch, static_cast<snd_mixer_selem_channel_id_t>(ch),
                        static_cast<unsigned>(source.EnumItem));
                    if (error < 0) {
                        ok = ok && ch > 0; // channels past the element's own are refused
                        break;
                    }
                }
            } else {
                ok = Asound().snd_mixer_selem_set_capture_switch_all(source.Switch, 1) >= 0;
            }
            break;
        }
    } else {
        for (std::size_t k = 0; k < Sources.size(); ++k)
            ok = Asound().snd_mixer_selem_set_capture_switch_all(
                     Sources[k].Switch, Values[k * static_cast<std::size_t>(Channels)] ? 1 : 0) >= 0 &&
                 ok;
    }
    return ok;
}

bool TAlsaMixer::FindSourceVolume(int SourceIndex, std::uint32_t& ControlId, int& Channels)
{
    std::lock_guard lock(Mutex);
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Sources.size()))
        return false;
    snd_mixer_elem_t* volume = Sources[static_cast<std::size_t>(SourceIndex)].Volume;
    if (!volume)
        return false;
    ControlId = kSourceVolumeBase + static_cast<std::uint32_t>(SourceIndex);
    Channels = ChannelCount(volume, false);
    return true;
}

bool TAlsaMixer::FindMasterVolume(std::uint32_t& ControlId)
{
    std::lock_guard lock(Mutex);
    if (!Master)
        return false;
    ControlId = kMasterId;
    return true;
}

bool TAlsaMixer::VolumeElement(std::uint32_t ControlId, snd_mixer_elem_t*& Element, bool& Playback)
{
    if (ControlId == kMasterId && Master) {
        Element = Master;
        Playback = true;
        return true;
    }
    if (ControlId >= kSourceVolumeBase && ControlId - kSourceVolumeBase < Sources.size() &&
        Sources[ControlId - kSourceVolumeBase].Volume) {
        Element = Sources[ControlId - kSourceVolumeBase].Volume;
        Playback = false;
        return true;
    }
    return false;
}

bool TAlsaMixer::ReadVolume(std::uint32_t ControlId, int Channels, std::vector<std::uint16_t>& Values)
{
    std::lock_guard lock(Mutex);
    snd_mixer_elem_t* element = nullptr;
    bool playback = false;
    if (Channels <= 0 || !VolumeElement(ControlId, element, playback))
        return false;
    Pump();
    long min = 0;
    long max = 0;
    if ((playback ? Asound().snd_mixer_selem_get_playback_volume_range(element, &min, &max)
                  : Asound().snd_mixer_selem_get_capture_volume_range(element, &min, &max)) < 0)
        return false;
    std::vector<std::uint16_t> values;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST; ++ch) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
        if (!(playback ? Asound().snd_mixer_selem_has_playback_channel(element, channel)
                       : Asound().snd_mixer_selem_has_capture_channel(element, channel)))
            continue;
        long raw = 0;
        if ((playback ? Asound().snd_mixer_selem_get_playback_volume(element, channel, &raw)
                      : Asound().snd_mixer_selem_get_capture_volume(element, channel, &raw)) < 0)
            return false;
        values.push_back(ToSixteen(raw, min, max));
    }
    if (values.empty())
        return false;
    if (Channels == 1) {
        Values.assign(1, *std::max_element(values.begin(), values.end()));
        return true;
    }
    if (values.size() < static_cast<std::size_t>(Channels))
        return false;
    values.resize(static_cast<std::size_t>(Channels));
    Values = std::move(values);
    return true;
}

bool TAlsaMixer::WriteVolume(std::uint32_t ControlId, const std::vector<std::uint16_t>& Values)
{
    std::lock_guard lock(Mutex);
    snd_mixer_elem_t* element = nullptr;
    bool playback = false;
    if (Values.empty() || !VolumeElement(ControlId, element, playback))
        return false;
    long min = 0;
    long max = 0;
    if ((playback ? Asound().snd_mixer_selem_get_playback_volume_range(element, &min, &max)
                  : Asound().snd_mixer_selem_get_capture_volume_range(element, &min, &max)) < 0)
        return false;
    if (Values.size() == 1) {
        const long raw = FromSixteen(Values.front(), min, max);
        return (playback ? Asound().snd_mixer_selem_set_playback_volume_all(element, raw)
                         : Asound().snd_mixer_selem_set_capture_volume_all(element, raw)) >= 0;
    }
    std::size_t next = 0;
    for (int ch = 0; ch <= SND_MIXER_SCHN_LAST && next < Values.size(); ++ch) {
        const auto channel = static_cast<snd_mixer_selem_channel_id_t>(ch);
        if (!(playback ? Asound().snd_mixer_selem_has_playback_channel(element, channel)
                       : Asound().snd_mixer_selem_has_capture_channel(element, channel)))
            continue;
        const long raw = FromSixteen(Values[next++], min, max);
        if ((playback ? Asound().snd_mixer_selem_set_playback_volume(element, channel, raw)
                      : Asound().snd_mixer_selem_set_capture_volume(element, channel, raw)) < 0)
            return false;
    }
    return next == Values.size();
}

void TAlsaMixer::SetOnControlChange(TControlChange Handler)
{
    std::lock_guard lock(HandlerMutex);
    OnChange = std::move(Handler);
}

} // namespace kestrune
