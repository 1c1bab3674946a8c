#include "cli/TDevicesCommand.h"

#include "cli/TMixerReport.h"
#include "devices/TDeviceCatalog.h"

#include <algorithm>
#include <set>

namespace kestrune::cli {

namespace {

// "22050 Hz", "11025-44100 Hz" for a run of the quality list's rates,
// "11025/44100 Hz" for rates with a gap.
std::string RatesText(const std::set<int>& Rates)
{
    static const std::vector<int> all{11025, 22050, 44100};
    std::vector<int> positions;
    positions.reserve(Rates.size());
    for (int rate : Rates)
        positions.push_back(static_cast<int>(std::find(all.begin(), all.end(), rate) - all.begin()));
    const bool run = positions.back() - positions.front() + 1 == static_cast<int>(positions.size());
    if (Rates.size() > 1 && run)
        return std::to_string(*Rates.begin()) + "-" + std::to_string(*Rates.rbegin()) + " Hz";
    std::string text;
    for (int rate : Rates)
        text += (text.empty() ? "" : "/") + std::to_string(rate);
    return text + " Hz";
}

// "mono", "stereo", "mono/stereo"; "8-bit", "16-bit", "8/16-bit".
std::string ChannelsText(const std::set<int>& Channels)
{
    return Channels.size() == 2 ? "mono/stereo" : *Channels.begin() == 1 ? "mono" : "stereo";
}
std::string BitsText(const std::set<int>& Bits)
{
    return Bits.size() == 2 ? "8/16-bit" : std::to_string(*Bits.begin()) + "-bit";
}

// True when Formats hold every combination of their rates, channels and sizes.
bool Complete(const std::vector<TAudioFormat>& Formats, std::set<int>& Rates, std::set<int>& Channels,
              std::set<int>& Bits)
{
    for (const TAudioFormat& f : Formats) {
        Rates.insert(f.SampleRate);
        Channels.insert(f.Channels);
        Bits.insert(f.BitsPerSample);
    }
    return Formats.size() == Rates.size() * Channels.size() * Bits.size();
}

} // namespace

std::string TDevicesCommand::FormatSummary(const std::vector<TAudioFormat>& Formats)
{
    if (Formats.empty())
        return "cannot be opened";
    if (Formats.size() == TDeviceCatalog::QualityFormats().size())
        return "all " + std::to_string(Formats.size()) + " formats";
    std::set<int> rates, channels, bits;
    if (Complete(Formats, rates, channels, bits))
        return RatesText(rates) + ", " + ChannelsText(channels) + ", " + BitsText(bits);
    // Rates that differ in what they offer are summed up one by one.
    std::string text;
    for (int rate : rates) {
        std::vector<TAudioFormat> atRate;
        std::copy_if(Formats.begin(), Formats.end(), std::back_inserter(atRate),
                     [rate](const TAudioFormat& f) { return f.SampleRate == rate; });
        std::set<int> r, c, b;
        std::string part;
        if (Complete(atRate, r, c, b)) {
            part = RatesText(r) + " " + ChannelsText(c) + " " + BitsText(b);
        } else {
            for (const TAudioFormat& f : atRate)
                part += (part.empty() ? "" : ", ") + RatesText({rate}) + " " + ChannelsText({f.Channels}) + " " +
                        BitsText({f.BitsPerSample});
        }
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

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
           "  --verbose       every recording format of a device on a line of its own\n"
           "  --json          one JSON object per device on stdout, with every format\n"
           "  --quiet         print nothing but errors\n";
}

const std::set<std::string>& TDevicesCommand::Flags()
{
    static const std::set<std::string> flags{"--verbose"};
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
    const bool verbose = Args.Flag("--verbose");
    if (!json)
        Out.Result("Capture devices:", "", {});
    for (const TDeviceInfo& d : TDeviceCatalog::CaptureDevices(configured)) {
        if (Interrupted)
            return 1;
        const auto formats = TDeviceCatalog::CaptureFormats(d.Name);
        const std::string summary = FormatSummary(formats);
        std::string text =
            "  " + d.Name + (d.Virtual ? " (virtual)" : "") + "  " + d.Description + "  [" + summary + "]";
        std::string list = "[";
        for (const TAudioFormat& f : formats) {
            const std::string q = TDeviceCatalog::QualityString(f);
            if (verbose)
                text += "\n      " + q;
            list += (list.size() > 1 ? "," : "") + TCliOutput::JsonString(q);
        }
        Out.Result(text, "capture_device",
                   {{"name", TCliOutput::JsonString(d.Name)},
                    {"description", TCliOutput::JsonString(d.Description)},
                    {"virtual", d.Virtual ? "true" : "false"},
                    {"summary", TCliOutput::JsonString(summary)},
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
