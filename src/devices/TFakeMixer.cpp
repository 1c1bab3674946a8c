#include "devices/TFakeMixer.h"

#include <algorithm>

namespace kestrune {

TFakeMixer::TFakeMixer(const std::vector<std::string>& LineNames)
{
    for (const auto& name : LineNames) {
        Lines.push_back(TLine{name});
        ItemNames.push_back(name);
        ItemSelected.push_back(false);
    }
}

bool TFakeMixer::GetDestination(int& Channels, int& Connections)
{
    std::lock_guard lock(Mutex);
    if (!HasDestination)
        return false;
    Channels = DestinationChannels;
    Connections = static_cast<int>(Lines.size());
    return true;
}

bool TFakeMixer::GetSourceLine(int SourceIndex, std::string& Name, int& Channels)
{
    std::lock_guard lock(Mutex);
    if (!HasDestination || SourceIndex < 0 || SourceIndex >= static_cast<int>(Lines.size()) ||
        !Lines[static_cast<std::size_t>(SourceIndex)].Queryable)
        return false;
    const TLine& line = Lines[static_cast<std::size_t>(SourceIndex)];
    Name = line.Name;
    Channels = line.Channels;
    return true;
}

bool TFakeMixer::FindSelector(TSelectorKind Kind, std::uint32_t& ControlId, int& Items)
{
    std::lock_guard lock(Mutex);
    const bool present = Kind == TSelectorKind::skMixer ? HasMixerSelector : HasMuxSelector;
    if (!present)
        return false;
    ControlId = Kind == TSelectorKind::skMixer ? kMixerSelectorId : kMuxSelectorId;
    Items = static_cast<int>(ItemNames.size());
    return true;
}

bool TFakeMixer::ReadSelectorNames(std::uint32_t ControlId, int Items, int Channels, std::vector<std::string>& Names)
{
    std::lock_guard lock(Mutex);
    if (SelectorReadFails || (ControlId != kMixerSelectorId && ControlId != kMuxSelectorId) ||
        Items != static_cast<int>(ItemNames.size()) || Channels <= 0)
        return false;
    Names.clear();
    for (const auto& name : ItemNames)
        Names.insert(Names.end(), static_cast<std::size_t>(Channels), name);
    return true;
}

bool TFakeMixer::ReadSelectorValues(std::uint32_t ControlId, int Items, int Channels, std::vector<bool>& Values)
{
    std::lock_guard lock(Mutex);
    if (SelectorReadFails || (ControlId != kMixerSelectorId && ControlId != kMuxSelectorId) ||
        Items != static_cast<int>(ItemSelected.size()) || Channels <= 0)
        return false;
    Values.clear();
    for (bool on : ItemSelected)
        Values.insert(Values.end(), static_cast<std::size_t>(Channels), on);
    return true;
}

bool TFakeMixer::WriteSelectorValues(std::uint32_t ControlId, int Items, int Channels, const std::vector<bool>& Values)
{
    std::lock_guard lock(Mutex);
    if ((ControlId != kMixerSelectorId && ControlId != kMuxSelectorId) ||
        Items != static_cast<int>(ItemSelected.size()) || Channels <= 0 ||
        Values.size() < static_cast<std::size_t>(Items) * static_cast<std::size_t>(Channels))
        return false;
    ++SelectorWrites;
    bool taken = false;
    for (std::size_t k = 0; k < ItemSelected.size(); ++k) {
        const bool on = Values[k * static_cast<std::size_t>(Channels)];
        // A multiplexer records from one item only: the first one set.
        ItemSelected[k] = ControlId == kMuxSelectorId ? on && !taken : on;
        taken = taken || on;
    }
    return true;
}

bool TFakeMixer::FindSourceVolume(int SourceIndex, std::uint32_t& ControlId, int& Channels)
{
    std::lock_guard lock(Mutex);
    if (SourceIndex < 0 || SourceIndex >= static_cast<int>(Lines.size()) ||
        !Lines[static_cast<std::size_t>(SourceIndex)].HasVolume)
        return false;
    ControlId = kSourceVolumeBase + static_cast<std::uint32_t>(SourceIndex);
    Channels = Lines[static_cast<std::size_t>(SourceIndex)].Channels;
    return true;
}

bool TFakeMixer::FindMasterVolume(std::uint32_t& ControlId)
{
    std::lock_guard lock(Mutex);
    if (!HasMaster)
        return false;
    ControlId = MasterId;
    return true;
}

bool TFakeMixer::ReadVolume(std::uint32_t ControlId, int Channels, std::vector<std::uint16_t>& Values)
{
    std::lock_guard lock(Mutex);
    if (Channels <= 0)
        return false;
    if (HasMaster && ControlId == MasterId) {
        if (MasterReadFails)
            return false;
        Values.assign(static_cast<std::size_t>(Channels), Master);
        return true;
    }
    if (ControlId < kSourceVolumeBase || ControlId - kSourceVolumeBase >= Lines.size())
        return false;
    const TLine& line = Lines[ControlId - kSourceVolumeBase];
    if (Channels == 1) {
        Values.assign(1, *std::max_element(line.Volume.begin(), line.Volume.end()));
        return true;
    }
    if (Channels != line.Channels)
        return false;
    Values = line.Volume;
    return true;
}

bool TFakeMixer::WriteVolume(std::uint32_t ControlId, const std::vector<std::uint16_t>& Values)
{
    std::lock_guard lock(Mutex);
    if (Values.empty())
        return false;
    if (HasMaster && ControlId == MasterId) {
        ++MasterWrites;
        Master = Values.front();
        return true;
    }
    if (ControlId < kSourceVolumeBase || ControlId - kSourceVolumeBase >= Lines.size())
        return false;
    TLine& line = Lines[ControlId - kSourceVolumeBase];
    ++VolumeWrites;
    if (Values.size() == 1)
        line.Volume.assign(line.Volume.size(), Values.front());
    else if (Values.size() == line.Volume.size())
        line.Volume = Values;
    else
        return false;
    return true;
}

void TFakeMixer::SetOnControlChange(TControlChange Handler)
{
    std::lock_guard lock(Mutex);
    OnChange = std::move(Handler);
}

void TFakeMixer::ChangeMasterElsewhere(std::uint16_t Value)
{
    std::uint32_t id = 0;
    {
        std::lock_guard lock(Mutex);
        Master = Value;
        id = MasterId;
    }
    Notify(id);
}

void TFakeMixer::Notify(std::uint32_t ControlId)
{
    TControlChange handler;
    {
        std::lock_guard lock(Mutex);
        handler = OnChange;
    }
    if (handler)
        handler(ControlId);
}

std::uint16_t TFakeMixer::MasterValue()
{
    std::lock_guard lock(Mutex);
    return Master;
}

std::vector<std::uint16_t> TFakeMixer::LineVolume(std::size_t Line)
{
    std::lock_guard lock(Mutex);
    return Lines.at(Line).Volume;
}

} // namespace kestrune
