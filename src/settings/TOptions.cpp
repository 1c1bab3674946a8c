#include "settings/TOptions.h"

#include "settings/TIniFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace kestrune {

namespace {

// CD quality: what every source a user records today delivers.
constexpr const char* kDefaultFormatString = "44100   Hz, Stereo, 16-bit";
constexpr std::int32_t kDefaultSampleRate = 44100;
constexpr const char* kDefaultFormat = "MP3";
constexpr std::int32_t kMaxInt = 0x7FFFFFFF;

std::string Lower(std::string Text)
{
    for (char& c : Text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Text;
}

// Position of Name in List, letter case aside, or -1.
int IndexOfText(const std::vector<std::string>& List, const std::string& Name)
{
    const std::string wanted = Lower(Name);
    for (std::size_t i = 0; i < List.size(); ++i)
        if (Lower(List[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

// An integer setting: its default when missing, not a number, or out of range.
std::int32_t ReadRanged(const TIniFile& Ini, const char* Section, const char* Key, std::int32_t Default,
                        std::int32_t Min, std::int32_t Max)
{
    const std::int32_t value = Ini.ReadInteger(Section, Key, Default);
    return value < Min || value > Max ? Default : value;
}

std::string RipFolderBeside(const std::string& Folder)
{
    if (Folder.empty())
        return "Rip/";
    return Folder + (Folder.back() == '/' ? "" : "/") + "Rip/";
}

} // namespace

const std::vector<TOptions::TQuality>& TOptions::Qualities()
{
    static const std::vector<TQuality> qualities{
        {"11025 Hz, Mono,   8-bit", 11025, 1, 8},   {"11025 Hz, Mono,   16-bit", 11025, 1, 16},
        {"11025 Hz, Stereo, 8-bit", 11025, 2, 8},   {"11025 Hz, Stereo, 16-bit", 11025, 2, 16},
        {"22050  Hz, Mono,   8-bit", 22050, 1, 8},  {"22050  Hz, Mono,   16-bit", 22050, 1, 16},
        {"22050  Hz, Stereo, 8-bit", 22050, 2, 8},  {"22050  Hz, Stereo, 16-bit", 22050, 2, 16},
        {"44100   Hz, Mono,   8-bit", 44100, 1, 8}, {"44100   Hz, Mono,   16-bit", 44100, 1, 16},
        {"44100   Hz, Stereo, 8-bit", 44100, 2, 8}, {"44100   Hz, Stereo, 16-bit", 44100, 2, 16},
    };
    return qualities;
}

TOptions::TOptions(std::string IniFileName_, IOptionsPlatform& Platform_, TDefaults Defaults_)
    : IniFileName(std::move(IniFileName_)), Platform(Platform_), Defaults(std::move(Defaults_))
{
    Load();
}

TOptions::~TOptions() = default;

std::string TOptions::ChosenDriver() const
{
    if (DriverIndex < 0 || DriverIndex >= static_cast<std::int32_t>(DriverNames.size()))
        return "";
    return DriverNames[static_cast<std::size_t>(DriverIndex)];
}

int TOptions::KeywordLine(const std::vector<std::string>& Lines)
{
    // Linux calls the card's playback mix "Monitor of ...": it comes first.
    for (std::size_t i = 0; i < Lines.size(); ++i)
        if (Lower(Lines[i]).find("monitor of") != std::string::npos)
            return static_cast<int>(i);

    static const char* const keywords[] = {"stereo mix", "record master", "what u hear", "mono mix", "mix",
                                           "hear",       "loop",          "out",         "sum",      "stereo",
                                           "record",     "all",           "wave",        "master"};
    int monoCandidate = -1;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const std::string name = Lower(Lines[i]);
        for (const char* keyword : keywords) {
            if (name.find(keyword) == std::string::npos)
                continue;
            if (name.find("mono") == std::string::npos)
                return static_cast<int>(i);
            monoCandidate = static_cast<int>(i);
        }
    }
    return monoCandidate;
}

void TOptions::Load()
{
    const TIniFile ini(IniFileName);

    Folder = ini.ReadString("General", "Folder", Defaults.Folder);
    if (!Folder.empty()) {
        std::error_code error;
        if (!std::filesystem::is_directory(Folder, error))
            std::filesystem::create_directories(Folder, error); // a failure here is not one of loading
    }

    Driver = ini.ReadString("Recording", "Driver", "");
    std::vector<TDeviceInfo> devices = Platform.CaptureDevices();
    // A configured file device is honoured even when the catalogue does not list it.
    if (Driver.rfind("virtual:", 0) == 0 &&
        std::none_of(devices.begin(), devices.end(), [&](const TDeviceInfo& D) { return D.Name == Driver; }))
        devices.push_back({Driver, "WAV file " + Driver.substr(8), true});
    DriverNames.clear();
    DriverDescriptions.clear();
    for (const auto& device : devices) {
        DriverNames.push_back(device.Name);
        DriverDescriptions.push_back(device.Description);
    }
    // The saved device when it is there; otherwise the sound server's "what
    // I hear" when a server answers, else the first real device. A stand-in
    // is never chosen by itself: with no real device and none named, nothing
    // is chosen and nothing gets measured or recorded.
    DriverIndex = -1;
    if (const auto match = std::find(DriverNames.begin(), DriverNames.end(), Driver);
        !Driver.empty() && match != DriverNames.end()) {
        DriverIndex = static_cast<std::int32_t>(match - DriverNames.begin());
    } else if (const auto preferred = std::find_if(devices.begin(), devices.end(),
                                                   [](const TDeviceInfo& D) { return !D.Virtual && D.Preferred; });
               preferred != devices.end()) {
        DriverIndex = static_cast<std::int32_t>(preferred - devices.begin());
    } else if (const auto real =
                   std::find_if(devices.begin(), devices.end(), [](const TDeviceInfo& D) { return !D.Virtual; });
               real != devices.end()) {
        DriverIndex = static_cast<std::int32_t>(real - devices.begin());
    }

    SamplesPerSec = ReadRanged(ini, "Recording", "SamplesPerSec", kDefaultSampleRate, 1000, 384000);
    BitsPerSample = ini.ReadInteger("Recordings", "BitsPerSample", 16);
    if (BitsPerSample != 8 && BitsPerSample != 16)
        BitsPerSample = 16;
    Channels = ReadRanged(ini, "Recordings", "Channels", 2, 1, 2);
    FormatString = ini.ReadString("Recordings", "FormatString", kDefaultFormatString);
    InputLine = ini.ReadString("Recordings", "InputLine", "");
    LineIndex = -1;
    LineNames.clear();

    Format = ini.ReadString("Recordings", "Format", kDefaultFormat);
    if (Format != "WAV" && Format != "MP3")
        Format = kDefaultFormat;
    Bitrate = ReadRanged(ini, "Recordings", "Bitrate", 11, 0, 17);
    AutoRecognize = ini.ReadBool("Recordings", "AutoRecognize", true);
    SilenceLg = ReadRanged(ini, "Silence", "SilenceLg", 1500, 0, kMaxInt);
    MinLength = ReadRanged(ini, "Silence", "MinLength", 15, 0, kMaxInt);
    WriterMode = ReadRanged(ini, "CDWriter", "Mode", 0, 0, 1);
    WriterDrive = ini.ReadString("CDWriter", "Drive", "");
    WriterSpeed = ReadRanged(ini, "CDWriter", "Speed", 4, 1, 100);
    CloseAtEnd = ini.ReadBool("CDWriter", "CloseAtEnd", true);
    WriterMethod = ReadRanged(ini, "CDWriter", "Method", 1, 1, 3);
    Level8 = ReadRanged(ini, "Silence", "Level8", 10, 0, 128);
    Level16 = ReadRanged(ini, "Silence", "Level16", 1500, 0, 32768);
    UseProxy = ini.ReadBool("Proxy", "Use", false);
    ProxyServer = ini.ReadString("Proxy", "Server", "");
    ProxyPort = ReadRanged(ini, "Proxy", "Port", 0, 0, 65535);
    // The rips go beside the recordings unless the settings name a place.
    RipPath = ini.ReadString("Rip", "Path", RipFolderBeside(Folder));
    ReadOpt = ReadRanged(ini, "Rip", "ReadOpt", 0, 0, 3);
    ReadAtt = ReadRanged(ini, "Rip", "ReadAtt", 1, 1, 10);
    ReadAct = ReadRanged(ini, "Rip", "ReadAct", 0, 0, 2);
    FreeDBServer = ReadRanged(ini, "Rip", "FreeDBServer", 0, 0, kMaxInt);
    FreeDBPort = ReadRanged(ini, "Rip", "FreeDBPort", 80, 1, 65535);
    RecognitionServer = ini.ReadString("Recognition", "Server", DefaultRecognitionServer);
    RecognitionKey = ini.ReadString("Recognition", "Key", "");
    PlaybackDriver = ini.ReadString("Playback", "Driver", "");
    RipEmail = ini.ReadString("Rip", "Email", "");
    ImagePath = ini.ReadString("CDWriter", "ImagePath", "");
    ImageMinutes = ReadRanged(ini, "CDWriter", "ImageMinutes", 80, 1, 999);

    // The MP3 encoder records in stereo.
    if (Channels == 1 && Format == "MP3")
        Channels = 2;
}

void TOptions::ChooseDriver(const std::string& Name, const std::string& Description)
{
    Driver = Name;
    if (Name.empty()) {
        DriverIndex = -1;
        return;
    }
    const auto match = std::find(DriverNames.begin(), DriverNames.end(), Name);
    if (match != DriverNames.end()) {
        DriverIndex = static_cast<std::int32_t>(match - DriverNames.begin());
        return;
    }
    DriverNames.push_back(Name);
    DriverDescriptions.push_back(Description);
    DriverIndex = static_cast<std::int32_t>(DriverNames.size() - 1);
}

int TOptions::ChooseLine(const std::vector<std::string>& Names, const std::string& Selected) const
{
    if (!Selected.empty() && Selected == InputLine)
        return IndexOfText(Names, Selected);
    if (const int wanted = IndexOfText(Names, InputLine); !InputLine.empty() && wanted >= 0)
        return wanted;
    return KeywordLine(Names);
}

void TOptions::SetUpMixer(const std::string& Device)
{
    Mixer.reset();
    LineNames.clear();
    LineIndex = -1;
    RecordingDestination = {};
    SourceSelector = {};
    MixerDevice.clear();
    if (!Device.empty())
        Mixer = Platform.OpenMixer(Device);
    if (Mixer)
        MixerDevice = Device;
    if (!Mixer)
        return;

    ListRecordingSources(*Mixer, LineNames, RecordingDestination);
    std::string selected;
    GetSelectedSource(*Mixer, RecordingDestination, selected, SourceSelector);
    LineIndex = ChooseLine(LineNames, selected);
    // The saved line becomes the one recorded from when the mixer records
    // from another; a line the keyword rule points at is not selected.
    const bool savedLineListed = !InputLine.empty() && IndexOfText(LineNames, InputLine) >= 0;
    if (savedLineListed && selected != InputLine)
        SelectSource(*Mixer, RecordingDestination, SourceSelector, InputLine);
}

TOptions::TLineChoice TOptions::ListLines(const std::string& Device)
{
    TLineChoice choice;
    const std::unique_ptr<IMixer> mixer = Device.empty() ? nullptr : Platform.OpenMixer(Device);
    if (!mixer)
        return choice;
    TRecordingDestination destination;
    ListRecordingSources(*mixer, choice.Names, destination);
    std::string selected;
    TSourceSelector selector;
    GetSelectedSource(*mixer, destination, selected, selector);
    choice.Index = ChooseLine(choice.Names, selected);
    return choice;
}

void TOptions::SelectLine(const std::string& Device, const std::string& Line)
{
    if (Device.empty() || Line.empty())
        return;
    if (Mixer && MixerDevice == Device) {
        SelectSource(*Mixer, RecordingDestination, SourceSelector, Line);
        if (const int index = IndexOfText(LineNames, Line); index >= 0)
            LineIndex = index;
        return;
    }
    const std::unique_ptr<IMixer> mixer = Platform.OpenMixer(Device);
    if (!mixer)
        return;
    TRecordingDestination destination;
    std::vector<std::string> names;
    ListRecordingSources(*mixer, names, destination);
    std::string selected;
    TSourceSelector selector;
    GetSelectedSource(*mixer, destination, selected, selector);
    SelectSource(*mixer, destination, selector, Line);
}

void TOptions::ListFormats(int DeviceIndex, std::vector<std::string>& List)
{
    List.clear();
    if (DeviceIndex < 0 || DeviceIndex >= static_cast<int>(DriverNames.size()))
        return;
    ListFormats(DriverNames[static_cast<std::size_t>(DeviceIndex)], List);
}

void TOptions::ListFormats(const std::string& Device, std::vector<std::string>& List)
{
    List.clear();
    if (Device.empty())
        return;
    const std::vector<TAudioFormat> formats = Platform.CaptureFormats(Device);
    for (const TQuality& quality : Qualities()) {
        const TAudioFormat wanted{quality.SampleRate, quality.BitsPerSample, quality.Channels};
        if (std::find(formats.begin(), formats.end(), wanted) != formats.end())
            List.emplace_back(quality.Text);
    }
}

void TOptions::Save()
{
    TIniFile ini(IniFileName);
    ini.WriteString("General", "Folder", Folder);
    ini.WriteString("Recording", "Driver", Driver);
    ini.WriteString("Recordings", "InputLine", InputLine);
    ini.WriteInteger("Recording", "SamplesPerSec", SamplesPerSec);
    ini.WriteInteger("Recordings", "BitsPerSample", BitsPerSample);
    ini.WriteInteger("Recordings", "Channels", Channels);
    ini.WriteString("Recordings", "FormatString", FormatString);
    ini.WriteString("Recordings", "Format", Format);
    ini.WriteInteger("Recordings", "Bitrate", Bitrate);
    ini.WriteBool("Recordings", "AutoRecognize", AutoRecognize);
    ini.WriteInteger("Silence", "SilenceLg", SilenceLg);
    ini.WriteInteger("Silence", "MinLength", MinLength);
    ini.WriteInteger("CDWriter", "Mode", WriterMode);
    ini.WriteString("CDWriter", "Drive", WriterDrive);
    ini.WriteInteger("CDWriter", "Speed", WriterSpeed);
    ini.WriteBool("CDWriter", "CloseAtEnd", CloseAtEnd);
    ini.WriteInteger("CDWriter", "Method", WriterMethod);
    ini.WriteInteger("Silence", "Level8", Level8);
    ini.WriteInteger("Silence", "Level16", Level16);
    ini.WriteBool("Proxy", "Use", UseProxy);
    ini.WriteString("Proxy", "Server", ProxyServer);
    ini.WriteInteger("Proxy", "Port", ProxyPort);
    ini.WriteString("Rip", "Path", RipPath);
    ini.WriteInteger("Rip", "ReadOpt", ReadOpt);
    ini.WriteInteger("Rip", "ReadAtt", ReadAtt);
    ini.WriteInteger("Rip", "ReadAct", ReadAct);
    ini.WriteInteger("Rip", "FreeDBServer", FreeDBServer);
    ini.WriteInteger("Rip", "FreeDBPort", FreeDBPort);
    ini.WriteString("Recognition", "Server", RecognitionServer);
    ini.WriteString("Recognition", "Key", RecognitionKey);
    ini.WriteString("Playback", "Driver", PlaybackDriver);
    ini.WriteString("Rip", "Email", RipEmail);
    ini.WriteString("CDWriter", "ImagePath", ImagePath);
    ini.WriteInteger("CDWriter", "ImageMinutes", ImageMinutes);
    ini.UpdateFile();
}

std::string TOptions::ImageCuePath() const
{
    if (!ImagePath.empty())
        return ImagePath;
    return (std::filesystem::path(Folder.empty() ? "." : Folder) / "CD image.cue").string();
}

} // namespace kestrune
