#include "cli/TDevicesCommand.h"

#include "cli/TMixerReport.h"
#include "devices/TDeviceCatalog.h"

namespace kestrune::cli {

const char* TDevicesCommand::Usage()
{
    return "Usage: kestrune-cli devices [options]\n"
           "\n"
           "Lists the capture devices with the recording formats each accepts, then\n"
           "the playback devices. Real devices (alsa:NAME, pulse:NAME) come first,\n"
           "virtual ones (virtual:demo, virtual:null, virtual:PATH.wav) after them.\n"
           "\n"
           "Options:\n"
           "  --device NAME   a configured device to list too (virtual:PATH.wav)\n"
           "  --json          one JSON object per device on stdout\n"
           "  --quiet         print nothing but errors\n";
}

const std::set<std::string>& TDevicesCommand::Flags()
{
    static const std::set<std::string> flags{};
    return flags;
}

const std::set<std::string>& TDevicesCommand::Options()
{
    static const std::set<std::string> options{"--device"};
    return options;
}

int TDevicesCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (!Args.Positional().empty())
        throw EUsage("devices takes no file names");
    const std::string configured = Args.Value("--device", "");

    // Headings only in the text form; JSON has one object per device.
    const bool json = Args.Flag("--json");
    if (!json)
        Out.Result("Capture devices:", "", {});
    for (const TDeviceInfo& d : TDeviceCatalog::CaptureDevices(configured)) {
        if (Interrupted)
            return 1;
        const auto formats = TDeviceCatalog::CaptureFormats(d.Name);
        std::string text = "  " + d.Name + (d.Virtual ? " (virtual)" : "") + "  " + d.Description;
        std::string list = "[";
        for (const TAudioFormat& f : formats) {
            const std::string q = TDeviceCatalog::QualityString(f);
            text += "\n      " + q;
            list += (list.size() > 1 ? "," : "") + TCliOutput::JsonString(q);
        }
        if (formats.empty())
            text += "\n      (cannot be opened)";
        Out.Result(text, "capture_device",
                   {{"name", TCliOutput::JsonString(d.Name)},
                    {"description", TCliOutput::JsonString(d.Description)},
                    {"virtual", d.Virtual ? "true" : "false"},
                    {"formats", list + "]"}});
    }
    ReportMixerLines(TDeviceCatalog::CaptureDevices(configured), Out, json);
    if (!json)
        Out.Result("Playback devices:", "", {});
    for (const TDeviceInfo& d : TDeviceCatalog::PlaybackDevices(configured))
        Out.Result("  " + d.Name + (d.Virtual ? " (virtual)" : "") + "  " + d.Description, "playback_device",
                   {{"name", TCliOutput::JsonString(d.Name)},
                    {"description", TCliOutput::JsonString(d.Description)},
                    {"virtual", d.Virtual ? "true" : "false"}});
    return 0;
}

} // namespace kestrune::cli
