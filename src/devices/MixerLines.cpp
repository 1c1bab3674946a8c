#include "devices/MixerLines.h"

#include <algorithm>
#include <cctype>

namespace kestrune {

namespace {

bool ReadSelector(IMixer& Mixer, const TRecordingDestination& Destination, const TSourceSelector& Selector,
                  std::vector<std::string>& Names, std::vector<bool>& Values)
{
    const int channels = std::max(1, Destination.Channels);
    const std::size_t entries = static_cast<std::size_t>(Selector.Items) * static_cast<std::size_t>(channels);
    std::vector<std::string> names;
    std::vector<bool> values;
    if (Selector.Items <= 0 || !Mixer.ReadSelectorNames(Selector.ControlId, Selector.Items, channels, names) ||
        !Mixer.ReadSelectorValues(Selector.ControlId, Selector.Items, channels, values))
        return false;
    // A driver that answers with fewer entries than asked for is not read past its end.
    if (names.size() < entries || values.size() < entries)
        return false;
    Names = std::move(names);
    Values = std::move(values);
    return true;
}

char Lower(char C)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
}

} // namespace

bool SourceNamesMatch(const std::string& A, const std::string& B)
{
    const std::size_t a = std::min(A.size(), kSourceNameMatchLength);
    const std::size_t b = std::min(B.size(), kSourceNameMatchLength);
    if (a != b)
        return false;
    for (std::size_t i = 0; i < a; ++i)
        if (Lower(A[i]) != Lower(B[i]))
            return false;
    return true;
}

void ListRecordingSources(IMixer& Mixer, std::vector<std::string>& List, TRecordingDestination& Destination)
{
    int channels = 0;
    int connections = 0;
    if (!Mixer.GetDestination(channels, connections))
        return;
    TRecordingDestination found;
    found.Valid = true;
    found.Channels = channels;
    found.Connections = std::max(0, connections);
    for (int s = 0; s < found.Connections; ++s) {
        std::string name;
        int lineChannels = 0;
        if (!Mixer.GetSourceLine(s, name, lineChannels))
            continue;
        List.push_back(name);
        found.Sources.push_back({name, s});
    }
    Destination = std::move(found);
}

void GetSelectedSource(IMixer& Mixer, const TRecordingDestination& Destination, std::string& Name,
                       TSourceSelector& Selector)
{
    if (!Destination.Valid)
        return;
    TSourceSelector found;
    found.Valid = true;
    if (Mixer.FindSelector(TSelectorKind::skMixer, found.ControlId, found.Items))
        found.Kind = TSelectorKind::skMixer;
    else if (Mixer.FindSelector(TSelectorKind::skMux, found.ControlId, found.Items))
        found.Kind = TSelectorKind::skMux;
    else
        return;
    Selector = found;

    std::vector<std::string> names;
    std::vector<bool> values;
    if (!ReadSelector(Mixer, Destination, Selector, names, values))
        return;
    const std::size_t channels = static_cast<std::size_t>(std::max(1, Destination.Channels));
    for (int k = 0; k < Selector.Items; ++k) {
        const std::size_t first = static_cast<std::size_t>(k) * channels;
        if (values[first])
            Name = names[first];
    }
}

void SelectSource(IMixer& Mixer, const TRecordingDestination& Destination, const TSourceSelector& Selector,
                  const std::string& Name)
{
    if (!Destination.Valid || !Selector.Valid)
        return;
    std::vector<std::string> names;
    std::vector<bool> values;
    if (!ReadSelector(Mixer, Destination, Selector, names, values))
        return;
    const std::size_t channels = static_cast<std::size_t>(std::max(1, Destination.Channels));
    for (int k = 0; k < Selector.Items; ++k) {
        const std::size_t first = static_cast<std::size_t>(k) * channels;
        const std::size_t last = first + channels - 1;
        const bool chosen = SourceNamesMatch(names[first], Name);
        values[first] = chosen;
        values[last] = chosen;
    }
    Mixer.WriteSelectorValues(Selector.ControlId, Selector.Items, static_cast<int>(channels), values);
}

void SetSourceVolume(IMixer& Mixer, const TRecordingDestination& Destination, int SourceIndex, std::uint16_t Volume)
{
    if (!Destination.Valid || SourceIndex < 0 || SourceIndex >= Destination.Connections)
        return;
    std::string name;
    int lineChannels = 0;
    if (!Mixer.GetSourceLine(SourceIndex, name, lineChannels))
        return;
    std::uint32_t control = 0;
    int channels = 0;
    if (!Mixer.FindSourceVolume(SourceIndex, control, channels) || channels <= 0)
        return;
    std::vector<std::uint16_t> values;
    if (!Mixer.ReadVolume(control, channels, values) || values.size() < static_cast<std::size_t>(channels))
        return;
    values.resize(static_cast<std::size_t>(channels));
    values.front() = Volume;
    values.back() = Volume;
    Mixer.WriteVolume(control, values);
}

std::uint16_t GetMasterVolume(IMixer& Mixer, std::uint32_t& ControlId)
{
    std::uint32_t control = 0;
    if (!Mixer.FindMasterVolume(control))
        return kUnknownMasterVolume;
    ControlId = control;
    std::vector<std::uint16_t> values;
    if (!Mixer.ReadVolume(control, 1, values) || values.empty())
        return kUnknownMasterVolume;
    return values.front();
}

void SetControlValue(IMixer& Mixer, std::uint32_t ControlId, std::uint16_t Value)
{
    std::vector<std::uint16_t> values;
    if (!Mixer.ReadVolume(ControlId, 1, values) || values.empty())
        return;
    Mixer.WriteVolume(ControlId, {Value});
}

} // namespace kestrune
