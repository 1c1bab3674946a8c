#include "cli/TMixerReport.h"

#include "devices/MixerLines.h"
#include "devices/TDeviceCatalog.h"

#include <set>

namespace kestrune::cli {

namespace {

std::string Volume(IMixer& Mixer, int SourceIndex)
{
    std::uint32_t control = 0;
    int channels = 0;
    std::vector<std::uint16_t> values;
    if (!Mixer.FindSourceVolume(SourceIndex, control, channels) || !Mixer.ReadVolume(control, 1, values) ||
        values.empty())
        return "";
    return std::to_string(values.front());
}

} // namespace

void ReportMixerLines(const std::vector<TDeviceInfo>& CaptureDevices, TCliOutput& Out, bool Json)
{
    if (!Json)
        Out.Result("Recording lines:", "", {});
    std::set<std::string> seen;
    bool any = false;
    for (const TDeviceInfo& device : CaptureDevices) {
        if (device.Virtual || !seen.insert(TDeviceCatalog::MixerKey(device.Name)).second)
            continue;
        const auto mixer = TDeviceCatalog::OpenMixer(device.Name);
        if (!mixer)
            continue;
        any = true;
        std::vector<std::string> names;
        TRecordingDestination destination;
        ListRecordingSources(*mixer, names, destination);
        std::string selected;
        TSourceSelector selector;
        GetSelectedSource(*mixer, destination, selected, selector);
        std::uint32_t masterControl = 0;
        const std::uint16_t master = GetMasterVolume(*mixer, masterControl);
        Out.Result("  mixer of " + device.Name + "  master volume " + std::to_string(master), "mixer",
                   {{"device", TCliOutput::JsonString(device.Name)}, {"master_volume", std::to_string(master)}});
        for (const TRecordingSource& source : destination.Sources) {
            const bool isSelected = source.Name == selected;
            const std::string volume = Volume(*mixer, source.SourceIndex);
            Out.Result(std::string(isSelected ? "    * " : "      ") + source.Name +
                           (volume.empty() ? "" : "  volume " + volume),
                       "recording_line",
                       {{"device", TCliOutput::JsonString(device.Name)},
                        {"name", TCliOutput::JsonString(source.Name)},
                        {"selected", isSelected ? "true" : "false"},
                        {"volume", volume.empty() ? "null" : volume}});
        }
    }
    if (!any && !Json)
        Out.Result("  (no mixer)", "", {});
}

} // namespace kestrune::cli
