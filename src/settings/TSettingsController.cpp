#include "settings/TSettingsController.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace kestrune {

namespace {

using C = TSettingsControl;

std::string Trim(const std::string& Text)
{
    std::size_t first = 0;
    std::size_t last = Text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(Text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(Text[last - 1])))
        --last;
    return Text.substr(first, last - first);
}

// A whole decimal number in 32 bits, with an optional sign; "1.5", "" and
// "12abc" are not.
bool ParseInteger(const std::string& Text, std::int32_t& Value)
{
    const std::string text = Trim(Text);
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i == text.size())
        return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(text[j])))
            return false;
    if (text.size() - i > 10)
        return false;
    const long long value = std::stoll(text);
    if (value < INT32_MIN || value > INT32_MAX)
        return false;
    Value = static_cast<std::int32_t>(value);
    return true;
}

int IndexOf(const std::vector<std::string>& Items, const std::string& Text)
{
    for (std::size_t i = 0; i < Items.size(); ++i)
        if (Items[i] == Text)
            return static_cast<int>(i);
    return -1;
}

const std::vector<std::string>& FormatTexts()
{
    static const std::vector<std::string> texts{"WAV", "MP3"};
    return texts;
}

constexpr int kBitrate128 = 11;
constexpr int kFreeDBServerIndexes = 11;

} // namespace

const std::vector<std::string>& TSettingsController::WriteModeTexts()
{
    static const std::vector<std::string> texts{"Manual Only", "Automatically when reach CD capacity"};
    return texts;
}

const std::vector<std::string>& TSettingsController::WriteMethodTexts()
{
    static const std::vector<std::string> texts{"Track at Once", "Disc at Once", "Session at Once"};
    return texts;
}

const std::vector<std::string>& TSettingsController::ReadModeTexts()
{
    static const std::vector<std::string> texts{
        "Burst Mode (Fast preset, no error correction)", "Synch Mode (Correct syncronization errors)",
        "Secure Mode (Double precision ereror correction)", "Paranoid Mode (Small blocks read, drive cache disabled)"};
    return texts;
}

const std::vector<std::string>& TSettingsController::ReadActionTexts()
{
    static const std::vector<std::string> texts{"STOP", "SILENENCE", "CUT"};
    return texts;
}

void TSettingsController::IntegerRange(TSettingsControl Control, int& Min, int& Max)
{
    switch (Control) {
    case C::scNumReads:
        Min = 1;
        Max = 10;
        break;
    case C::scFreeDBPort:
        Min = 1;
        Max = 65535;
        break;
    default:
        Min = 0;
        Max = 65535;
        break;
    }
}

TSettingsController::TSettingsController(TOptions& Options_, ISettingsView& View_, IDialogs& Dialogs_,
                                         ISettingsHost& Host_, IBurnDrives& Drives_, IFreeDBServers* FreeDB_)
    : Options(Options_), View(View_), Dialogs(Dialogs_), Host(Host_), Drives(Drives_), FreeDB(FreeDB_)
{
}

std::string TSettingsController::SelectedText(TSettingsControl Control_) const
{
    const TControlState& s = Control(Control_);
    if (s.Selection < 0 || s.Selection >= static_cast<int>(s.Items.size()))
        return "";
    return s.Items[static_cast<std::size_t>(s.Selection)];
}

void TSettingsController::PutItems(TSettingsControl Control_, std::vector<std::string> Items, int Selection)
{
    TControlState& s = State(Control_);
    s.Items = std::move(Items);
    View.SetItems(Control_, s.Items);
    PutSelection(Control_, Selection);
}

void TSettingsController::PutSelection(TSettingsControl Control_, int Selection)
{
    TControlState& s = State(Control_);
    s.Selection = Selection >= 0 && Selection < static_cast<int>(s.Items.size()) ? Selection : -1;
    View.SetSelection(Control_, s.Selection);
}

void TSettingsController::PutText(TSettingsControl Control_, const std::string& Text)
{
    State(Control_).Text = Text;
    View.SetText(Control_, Text);
}

void TSettingsController::PutChecked(TSettingsControl Control_, bool Checked)
{
    State(Control_).Checked = Checked;
    View.SetChecked(Control_, Checked);
}

void TSettingsController::ShowBitrate(bool Visible)
{
    FBitrateVisible = Visible;
    View.SetBitrateVisible(Visible);
}

void TSettingsController::ShowProxy(bool Visible)
{
    FProxyVisible = Visible;
    View.SetProxyVisible(Visible);
}

std::string TSettingsController::ChosenDevice() const
{
    const int selection = Control(C::scDriver).Selection;
    if (selection < 0 || selection >= static_cast<int>(DriverNames.size()))
        return "";
    return DriverNames[static_cast<std::size_t>(selection)];
}

std::vector<std::string> TSettingsController::DriverTexts() const
{
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < DriverNames.size(); ++i) {
        const std::string& description = i < DriverDescriptions.size() ? DriverDescriptions[i] : std::string();
        texts.push_back(description.empty() || description == DriverNames[i]
                            ? DriverNames[i]
                            : description + "  (" + DriverNames[i] + ")");
    }
    texts.emplace_back(WavFileEntry);
    return texts;
}

void TSettingsController::ChooseWavFile(int Before)
{
    const std::string file = View.ChooseWavFile();
    if (file.empty()) {
        PutSelection(C::scDriver, Before);
        return;
    }
    const std::string name = "virtual:" + file;
    int index = IndexOf(DriverNames, name);
    if (index < 0) {
        DriverNames.push_back(name);
        DriverDescriptions.push_back("WAV file " + file);
        index = static_cast<int>(DriverNames.size()) - 1;
    }
    PutItems(C::scDriver, DriverTexts(), index);
}

void TSettingsController::FillQualities()
{
    std::vector<std::string> list;
    Options.ListFormats(ChosenDevice(), list);
    // The saved quality, or the device's best (the last one) when it cannot record that.
    int selection = IndexOf(list, Options.FormatString);
    if (selection < 0)
        selection = static_cast<int>(list.size()) - 1;
    PutItems(C::scQuality, std::move(list), selection);
}

void TSettingsController::FillLines(bool Tell)
{
    const std::string device = ChosenDevice();
    TOptions::TLineChoice lines = Options.ListLines(device);
    if (lines.Names.empty()) {
        PutItems(C::scLines, {}, -1);
        // Said in the page, where it stays in view, rather than in a box at
        // every opening.
        View.SetNotice(device.empty()                     ? NoDeviceNotice
                       : device.rfind("virtual:", 0) == 0 ? StandInNotice
                                                          : NoMixerNotice);
        return;
    }
    View.SetNotice("");
    if (lines.Index < 0 && Tell)
        Dialogs.Information("Please select the input line to be used for recording");
    const int selection = lines.Index < 0 ? 0 : lines.Index;
    PutItems(C::scLines, std::move(lines.Names), selection);
}

void TSettingsController::FillSpeeds()
{
    std::vector<std::string> speeds = Drives.Speeds();
    int selection = IndexOf(speeds, std::to_string(Options.WriterSpeed) + "x");
    if (selection < 0)
        selection = 0;
    PutItems(C::scSpeed, std::move(speeds), selection);
}

void TSettingsController::Fill()
{
    Filling = true;
    FFirstRunMode = Host.FirstRun();
    View.SetFirstRunMode(FFirstRunMode);
    PutText(C::scFolder, Options.Folder);

    // Every device is offered, the stand-ins too: with no sound card the
    // demo card or a WAV file still lets the user try recording.
    DriverNames = Options.DriverNames;
    DriverDescriptions = Options.DriverDescriptions;
    PutItems(C::scDriver, DriverTexts(), Options.DriverIndex);
    FillQualities();
    FillLines(true);

    PutItems(C::scFormat, FormatTexts(), IndexOf(FormatTexts(), Options.Format));
    PutItems(C::scBitrate, TMp3Settings::BitRateTexts(), Options.Bitrate);
    ShowBitrate(Options.Format == "MP3");

    PutChecked(C::scRecognize, Options.AutoRecognize);
    PutText(C::scSilence, std::to_string(Options.SilenceLg));
    PutText(C::scMinLength, std::to_string(Options.MinLength));
    PutItems(C::scWriteToCD, WriteModeTexts(), Options.WriterMode);
    PutChecked(C::scUseProxy, Options.UseProxy);
    PutText(C::scProxyServer, Options.ProxyServer);
    PutText(C::scProxyPort, std::to_string(Options.ProxyPort));
    ShowProxy(Options.UseProxy);
    PutText(C::scRecognitionServer, Options.RecognitionServer);
    PutText(C::scRecognitionKey, Options.RecognitionKey);

    PutItems(C::scDrives, Drives.Drives(), Drives.CurrentDrive());
    FillSpeeds();

    PutItems(C::scMethod, WriteMethodTexts(), Options.WriterMethod - 1);
    PutChecked(C::scCloseCD, Options.CloseAtEnd);
    PutText(C::scRipFolder, Options.RipPath);
    PutItems(C::scReadMode, ReadModeTexts(), Options.ReadOpt);
    PutText(C::scNumReads, std::to_string(Options.ReadAtt));
    PutItems(C::scReadAction, ReadActionTexts(), Options.ReadAct);

    std::vector<std::string> servers;
    for (int i = 0; i < kFreeDBServerIndexes && FreeDB; ++i)
        if (std::optional<std::string> name = FreeDB->ServerName(i); name && !name->empty())
            servers.push_back(*name);
    if (servers.empty())
        servers.emplace_back(FallbackFreeDBServer);
    PutItems(C::scFreeDBServer, std::move(servers), Options.FreeDBServer);
    PutText(C::scFreeDBPort, std::to_string(Options.FreeDBPort));

    // The first page of the list: a window that opened on a page the list
    // does not name left the user without a way back to it. A first start
    // without a device opens there too, where that is said and mended.
    FPage = TSettingsPage::spRecording;
    View.ShowPage(FPage);
    Filling = false;
}

void TSettingsController::Select(TSettingsControl Control_, int Index_)
{
    if (Filling)
        return;
    Filling = true; // what the reactions change is not the user's doing
    const int before = Control(Control_).Selection;
    TControlState& s = State(Control_);
    s.Selection = Index_ >= 0 && Index_ < static_cast<int>(s.Items.size()) ? Index_ : -1;
    switch (Control_) {
    case C::scFormat:
        if (SelectedText(C::scFormat) == "MP3") {
            ShowBitrate(true);
            if (Control(C::scBitrate).Selection < 0)
                PutSelection(C::scBitrate, kBitrate128);
        } else {
            ShowBitrate(false);
        }
        break;
    case C::scLines:
        // The mixer records from the chosen line at once, even if the window
        // is then cancelled.
        if (s.Selection >= 0 && s.Selection != before)
            Options.SelectLine(ChosenDevice(), SelectedText(C::scLines));
        break;
    case C::scDrives:
        if (s.Selection >= 0 && s.Selection != Drives.CurrentDrive()) {
            Drives.ChangeDrive(s.Selection);
            FillSpeeds();
        }
        break;
    case C::scDriver:
        if (s.Selection == static_cast<int>(DriverNames.size()))
            ChooseWavFile(before);
        // Another device records other qualities through another mixer.
        if (s.Selection >= 0 && s.Selection != before) {
            FillQualities();
            FillLines(false);
        }
        break;
    default:
        break;
    }
    Filling = false;
}

void TSettingsController::Edit(TSettingsControl Control_, const std::string& Text)
{
    if (Filling)
        return;
    State(Control_).Text = Text;
}

void TSettingsController::Check(TSettingsControl Control_, bool Checked)
{
    if (Filling)
        return;
    State(Control_).Checked = Checked;
    if (Control_ == C::scUseProxy) {
        Filling = true;
        ShowProxy(Checked);
        Filling = false;
    }
}

bool TSettingsController::ChooseTreeEntry(int Index_)
{
    if (Index_ < 0 || Index_ > static_cast<int>(TSettingsPage::spRip))
        return false;
    const auto page = static_cast<TSettingsPage>(Index_);
    if (page == TSettingsPage::spBurning && !Drives.Available()) {
        Dialogs.Warning("CD not available");
        View.ShowPage(FPage); // the tree goes back to the page still shown
        return false;
    }
    FPage = page;
    View.ShowPage(FPage);
    return true;
}

void TSettingsController::Fail(const std::string& Text, TSettingsPage Page_, TSettingsControl Focus)
{
    Dialogs.Warning(Text);
    FPage = Page_;
    View.ShowPage(Page_);
    View.Focus(Focus);
}

int TSettingsController::IntegerValue(TSettingsControl Control_, int Current) const
{
    const std::string text = Trim(Control(Control_).Text);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
        return Current;
    int min = 0;
    int max = 0;
    IntegerRange(Control_, min, max);
    const double floored = std::floor(value);
    return floored < min ? min : floored > max ? max : static_cast<int>(floored);
}

bool TSettingsController::CaptureNoiseLevel()
{
    if (Dialogs.Show(TDialogKind::dkWarning, NoiseCaptureQuestion, TDialogButtons::dbOKCancel) != TDialogResult::drOK)
        return false;
    if (!View.RunNoiseCapture())
        return false;
    Host.ClearFirstRun();
    return true;
}

bool TSettingsController::Save()
{
    // A list with nothing chosen (no capture device, no mixer, no CD
    // writer) keeps what the options hold rather than saving a blank.
    const std::string device = ChosenDevice();
    const bool haveDevice = !device.empty();
    const bool haveLines = !Control(C::scLines).Items.empty();

    // The device shown is the one the noise capture measures.
    if (haveDevice) {
        const auto at = static_cast<std::size_t>(Control(C::scDriver).Selection);
        Options.ChooseDriver(device, at < DriverDescriptions.size() ? DriverDescriptions[at] : std::string());
    }
    // Without a real device there is no noise to measure: the save alone
    // ends the first-time setup.
    const bool measurable = haveDevice && device.rfind("virtual:", 0) != 0;
    if (measurable && (Host.FirstRun() || (haveLines && SelectedText(C::scLines) != Options.InputLine)))
        CaptureNoiseLevel(); // the save goes on whatever the answer
    else if (!measurable && Host.FirstRun())
        Host.ClearFirstRun();

    Options.Folder = Control(C::scFolder).Text;
    if (haveLines)
        Options.InputLine = SelectedText(C::scLines);

    if (haveDevice) {
        const std::string quality = SelectedText(C::scQuality);
        if (quality != Options.FormatString) {
            Options.FormatString = quality;
            std::int32_t rate = 0;
            if (!ParseInteger(quality.substr(0, quality.find(' ')), rate) || rate <= 0) {
                Fail("Please select the output quality", TSettingsPage::spRecording, C::scQuality);
                return false;
            }
            Options.SamplesPerSec = rate;
            Options.Channels = quality.find("Stereo") != std::string::npos ? 2 : 1;
            Options.BitsPerSample = quality.find("8-bit") != std::string::npos ? 8 : 16;
        }
    }

    if (const std::string format = SelectedText(C::scFormat); !format.empty()) {
        Options.Format = format;
        if (format == "MP3" && Control(C::scBitrate).Selection >= 0)
            Options.Bitrate = Control(C::scBitrate).Selection;
    }

    // A negative length is no length: refused like any other non-number.
    std::int32_t silence = 0;
    if (!ParseInteger(Control(C::scSilence).Text, silence) || silence < 0) {
        Fail("Silence length must be an integral value", TSettingsPage::spSplitTracks, C::scSilence);
        return false;
    }
    Options.SilenceLg = silence;

    if (Control(C::scRecognize).Checked != Options.AutoRecognize) {
        Options.AutoRecognize = Control(C::scRecognize).Checked;
        Host.ApplyAutoRecognize();
    }

    std::int32_t minLength = 0;
    if (!ParseInteger(Control(C::scMinLength).Text, minLength) || minLength < 0) {
        Fail("Minimum length must be an integral value", TSettingsPage::spSplitTracks, C::scMinLength);
        return false;
    }
    Options.MinLength = minLength;

    if (Control(C::scWriteToCD).Selection >= 0)
        Options.WriterMode = Control(C::scWriteToCD).Selection;
    Options.UseProxy = Control(C::scUseProxy).Checked;
    Options.ProxyServer = Control(C::scProxyServer).Text;
    Options.ProxyPort = IntegerValue(C::scProxyPort, Options.ProxyPort);
    if (!Control(C::scDrives).Items.empty())
        Options.WriterDrive = SelectedText(C::scDrives);
    const std::string speed = SelectedText(C::scSpeed);
    std::int32_t writerSpeed = 0;
    Options.WriterSpeed =
        !speed.empty() && ParseInteger(speed.substr(0, speed.size() - 1), writerSpeed) && writerSpeed > 0 ? writerSpeed
                                                                                                          : 4;
    if (Control(C::scMethod).Selection >= 0)
        Options.WriterMethod = Control(C::scMethod).Selection + 1;
    Options.CloseAtEnd = Control(C::scCloseCD).Checked;
    Options.RipPath = Control(C::scRipFolder).Text;
    if (Control(C::scReadMode).Selection >= 0)
        Options.ReadOpt = Control(C::scReadMode).Selection;
    Options.ReadAtt = IntegerValue(C::scNumReads, Options.ReadAtt);
    if (Control(C::scReadAction).Selection >= 0)
        Options.ReadAct = Control(C::scReadAction).Selection;
    // A server the list is too short to show keeps its index.
    if (Control(C::scFreeDBServer).Selection >= 0)
        Options.FreeDBServer = Control(C::scFreeDBServer).Selection;
    Options.FreeDBPort = IntegerValue(C::scFreeDBPort, Options.FreeDBPort);

    std::string server = Trim(Control(C::scRecognitionServer).Text);
    if (server.empty())
        server = TOptions::DefaultRecognitionServer;
    const std::string key = Trim(Control(C::scRecognitionKey).Text);
    const bool serviceChanged = server != Options.RecognitionServer || key != Options.RecognitionKey;
    Options.RecognitionServer = server;
    Options.RecognitionKey = key;
    if (serviceChanged && Options.AutoRecognize)
        Host.RecognitionServiceChanged();

    try {
        Options.Save();
    } catch (const std::exception& Error) {
        // The window stays open with the user's input; nothing was replaced.
        Dialogs.Error(std::string("The settings could not be saved: ") + Error.what());
        return false;
    }
    View.Close();
    return true;
}

void TSettingsController::Cancel()
{
    if (FFirstRunMode) {
        // Closing the first-time setup is a choice to set up later: asked
        // once, and then the settings as they are become the file, so the
        // next start does not begin the setup again.
        if (!Dialogs.Confirm(SetUpLaterQuestion, TDialogButtons::dbYesNo))
            return;
        try {
            Options.Save();
        } catch (const std::exception& Error) {
            Dialogs.Error(std::string("The settings could not be saved: ") + Error.what());
            return;
        }
        Host.ClearFirstRun();
    }
    View.Close();
}

void TSettingsController::Shortcut(TSettingsFollowUp Next)
{
    if (FFirstRunMode)
        return;
    FFollowUp = Next;
    View.Close();
}

} // namespace kestrune
