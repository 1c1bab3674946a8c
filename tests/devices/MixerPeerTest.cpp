// The ALSA mixer against a fake control plugin and the PulseAudio mixer
// against a private server, each checked through the platform's own tools
// rather than through the code under test.
#include "cli/TMixerReport.h"
#include "devices/MixerLines.h"
#include "devices/PulseTestServer.h"
#include "devices/TAlsaMixer.h"
#include "devices/TPulseMixer.h"
#include "settings/TOptions.h"
#include "support/TestSupport.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrune {
namespace {

// The fake control devices are defined by the test's own ALSA configuration.
class TAlsaConfig : public ::testing::Environment {
public:
    void SetUp() override { ::setenv("ALSA_CONFIG_PATH", KESTRUNE_ALSA_MIXER_CONF, 1); }
};
const auto* const alsaConfig = ::testing::AddGlobalTestEnvironment(new TAlsaConfig);

// Reads and writes control values by element name, past the simple mixer.
class TRawControl {
public:
    explicit TRawControl(const char* Device)
    {
        if (snd_ctl_open(&Ctl, Device, 0) < 0)
            Ctl = nullptr;
    }
    ~TRawControl()
    {
        if (Ctl)
            snd_ctl_close(Ctl);
    }
    bool Open() const { return Ctl != nullptr; }
    long Get(const char* Name, unsigned Index = 0)
    {
        snd_ctl_elem_value_t* value = nullptr;
        snd_ctl_elem_value_alloca(&value);
        snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_value_set_name(value, Name);
        if (snd_ctl_elem_read(Ctl, value) < 0)
            return -1;
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_info_set_name(info, Name);
        if (snd_ctl_elem_info(Ctl, info) < 0)
            return -1;
        switch (snd_ctl_elem_info_get_type(info)) {
        case SND_CTL_ELEM_TYPE_ENUMERATED:
            return snd_ctl_elem_value_get_enumerated(value, Index);
        case SND_CTL_ELEM_TYPE_BOOLEAN:
            return snd_ctl_elem_value_get_boolean(value, Index);
        default:
            return snd_ctl_elem_value_get_integer(value, Index);
        }
    }
    void SetInteger(const char* Name, long Value)
    {
        snd_ctl_elem_value_t* value = nullptr;
        snd_ctl_elem_value_alloca(&value);
        snd_ctl_elem_value_set_interface(value, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_value_set_name(value, Name);
        ASSERT_GE(snd_ctl_elem_read(Ctl, value), 0);
        snd_ctl_elem_info_t* info = nullptr;
        snd_ctl_elem_info_alloca(&info);
        snd_ctl_elem_info_set_interface(info, SND_CTL_ELEM_IFACE_MIXER);
        snd_ctl_elem_info_set_name(info, Name);
        ASSERT_GE(snd_ctl_elem_info(Ctl, info), 0);
        for (unsigned i = 0; i < snd_ctl_elem_info_get_count(info); ++i) {
            if (snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED)
                snd_ctl_elem_value_set_enumerated(value, i, static_cast<unsigned>(Value));
            else
                snd_ctl_elem_value_set_integer(value, i, Value);
        }
        ASSERT_GE(snd_ctl_elem_write(Ctl, value), 0);
    }

private:
    snd_ctl_t* Ctl = nullptr;
};

struct TLines {
    std::vector<std::string> Names;
    TRecordingDestination Destination;
    std::string Selected;
    TSourceSelector Selector;
    explicit TLines(IMixer& Mixer)
    {
        ListRecordingSources(Mixer, Names, Destination);
        GetSelectedSource(Mixer, Destination, Selected, Selector);
    }
};

TEST(AlsaMixer, CaptureSourceEnumerationCard)
{
    TRawControl raw("fakeenum");
    ASSERT_TRUE(raw.Open());
    const auto mixer = TAlsaMixer::Open("fakeenum");
    ASSERT_NE(mixer, nullptr);
    TLines lines(*mixer);
    // The lines come in the simple mixer's order, not the card's item order.
    EXPECT_EQ(lines.Names, (std::vector<std::string>{"Line", "CD", "Mic", "Stereo Mix"}));
    EXPECT_EQ(lines.Selected, "Mic");
    EXPECT_EQ(lines.Selector.Kind, TSelectorKind::skMux);

    SelectSource(*mixer, lines.Destination, lines.Selector, "stereo mix");
    EXPECT_EQ(raw.Get("Capture Source", 0), 3);
    EXPECT_EQ(raw.Get("Capture Source", 1), 3);
    std::string now;
    GetSelectedSource(*mixer, lines.Destination, now, lines.Selector);
    EXPECT_EQ(now, "Stereo Mix");

    // The lines have no volume of their own: the card's capture volume serves them all.
    SetSourceVolume(*mixer, lines.Destination, 3, 65535);
    EXPECT_EQ(raw.Get("Capture Volume", 0), 31);
    EXPECT_EQ(raw.Get("Capture Volume", 1), 31);

    raw.SetInteger("Master Playback Volume", 80);
    std::uint32_t id = 0;
    EXPECT_EQ(GetMasterVolume(*mixer, id), 52428); // 80 of 0..100
    SetControlValue(*mixer, id, 45000);
    EXPECT_EQ(raw.Get("Master Playback Volume", 0), 69);
    EXPECT_EQ(raw.Get("Master Playback Volume", 1), 69);
}

TEST(AlsaMixer, IndependentSwitchCard)
{
    TRawControl raw("fakeswitches");
    ASSERT_TRUE(raw.Open());
    const auto mixer = TAlsaMixer::Open("fakeswitches");
    ASSERT_NE(mixer, nullptr);
    TLines lines(*mixer);
    EXPECT_EQ(lines.Names, (std::vector<std::string>{"Line", "Mic", "Aux"}));
    EXPECT_EQ(lines.Selector.Kind, TSelectorKind::skMixer);
    EXPECT_EQ(lines.Selected, "Aux"); // Mic and Aux are on: the last one counts

    SelectSource(*mixer, lines.Destination, lines.Selector, "LINE");
    EXPECT_EQ(raw.Get("Mic Capture Switch"), 0);
    EXPECT_EQ(raw.Get("Line Capture Switch"), 1);
    EXPECT_EQ(raw.Get("Line Capture Switch", 1), 1);
    EXPECT_EQ(raw.Get("Aux Capture Switch"), 0);

    SetSourceVolume(*mixer, lines.Destination, 2, 65535); // the mono line
    EXPECT_EQ(raw.Get("Aux Capture Volume"), 63);
    SetSourceVolume(*mixer, lines.Destination, 1, 0); // Mic
    EXPECT_EQ(raw.Get("Mic Capture Volume", 1), 0);
    EXPECT_EQ(raw.Get("Line Capture Volume"), 5);

    std::uint32_t id = 0;
    EXPECT_EQ(GetMasterVolume(*mixer, id), 13107); // "PCM" 51 of 0..255 when there is no "Master"
}

TEST(AlsaMixer, InputSourceCardWithoutMaster)
{
    TRawControl raw("fakeinput");
    ASSERT_TRUE(raw.Open());
    const auto mixer = TAlsaMixer::Open("fakeinput");
    ASSERT_NE(mixer, nullptr);
    TLines lines(*mixer);
    EXPECT_EQ(lines.Names, (std::vector<std::string>{"Front Mic", "Rear Mic", "Line In"}));
    EXPECT_EQ(lines.Selected, "Rear Mic");
    SelectSource(*mixer, lines.Destination, lines.Selector, "line in");
    EXPECT_EQ(raw.Get("Input Source"), 2);
    std::uint32_t id = 77;
    EXPECT_EQ(GetMasterVolume(*mixer, id), 30000);
    EXPECT_EQ(id, 77u);

    EXPECT_EQ(TAlsaMixer::Open("nosuchcard"), nullptr);
    EXPECT_EQ(TAlsaMixer::ControlNameFor("plughw:1,0"), "hw:1");
    EXPECT_EQ(TAlsaMixer::ControlNameFor("sysdefault:CARD=PCH"), "hw:PCH");
    EXPECT_EQ(TAlsaMixer::ControlNameFor("default"), "default");
}

// A platform whose one capture device is the given mixer.
class TMixerPlatform final : public IOptionsPlatform {
public:
    std::function<std::unique_ptr<IMixer>()> Open;
    std::vector<TDeviceInfo> CaptureDevices() override { return {{"test:device", "", false}}; }
    std::vector<TAudioFormat> CaptureFormats(const std::string&) override { return {}; }
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return Open(); }
};

// Setting up a capture chooses the recording line and leaves every volume
// of the card where it was.
TEST(AlsaMixer, CaptureSetUpLeavesTheCardVolumesAlone)
{
    test::TTempDir dir;
    TRawControl raw("fakeenum");
    ASSERT_TRUE(raw.Open());
    raw.SetInteger("Master Playback Volume", 80);
    raw.SetInteger("Capture Volume", 29);
    raw.SetInteger("Capture Source", 0);
    TMixerPlatform platform;
    platform.Open = [] { return TAlsaMixer::Open("fakeenum"); };
    TOptions options(dir.File("k.ini"), platform, {dir.File("Records") + "/"});
    options.SetUpMixer("alsa:fakeenum");
    ASSERT_EQ(options.LineIndex, 3);         // "Stereo Mix" by the keyword rule
    EXPECT_EQ(raw.Get("Capture Source"), 0); // the rule does not change the selection
    EXPECT_EQ(raw.Get("Master Playback Volume"), 80);
    EXPECT_EQ(raw.Get("Capture Volume"), 29);

    // The user's own choice of line is selected, still without a volume.
    options.SelectLine("alsa:fakeenum", "Stereo Mix");
    EXPECT_EQ(raw.Get("Capture Source"), 3);
    raw.SetInteger("Master Playback Volume", 100); // the user turns it up while the mixer is open
    options.SetUpMixer("alsa:fakeenum");
    EXPECT_EQ(raw.Get("Master Playback Volume"), 100);
    EXPECT_EQ(raw.Get("Capture Volume"), 29);
}

TEST(AlsaMixer, CommandLineReportsTheLinesWithoutChangingThem)
{
    TRawControl raw("fakeswitches");
    ASSERT_TRUE(raw.Open());
    raw.SetInteger("Mic Capture Switch", 0);
    raw.SetInteger("Line Capture Switch", 1);
    raw.SetInteger("Aux Capture Switch", 0);
    raw.SetInteger("PCM Playback Volume", 255);
    raw.SetInteger("Line Capture Volume", 5);
    raw.SetInteger("Mic Capture Volume", 0);
    raw.SetInteger("Aux Capture Volume", 63);
    std::ostringstream out;
    std::ostringstream err;
    cli::TCliOutput output(out, err, false, false, false);
    cli::ReportMixerLines(
        {{"alsa:fakeswitches", "", false}, {"alsa:fakeswitches", "", false}, {"virtual:demo", "", true}}, output,
        false);
    EXPECT_EQ(out.str(), "Recording lines:\n"
                         "  mixer of alsa:fakeswitches  master volume 65535\n"
                         "    * Line  volume 10570\n" // 5 of 0..31
                         "      Mic  volume 0\n"
                         "      Aux  volume 65535\n");
    EXPECT_EQ(raw.Get("PCM Playback Volume"), 255);
}

std::string Pactl(const std::string& Arguments)
{
    std::string output;
    EXPECT_EQ(test::RunCommand("pactl " + Arguments, &output), 0) << Arguments;
    return output;
}

class PulseMixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        KESTRUNE_REQUIRE_TOOL("pulseaudio");
        KESTRUNE_REQUIRE_TOOL("pactl");
        Server = std::make_unique<test::TPulseTestServer>();
        ASSERT_TRUE(Server->Running()) << Server->Error();
        Pactl("load-module module-null-source source_name=nullsrc");
    }
    std::unique_ptr<test::TPulseTestServer> Server;
};

TEST_F(PulseMixer, SourcesAreTheRecordingLines)
{
    const auto mixer = TPulseMixer::Open();
    ASSERT_NE(mixer, nullptr);
    Pactl("set-default-source nullsrc");
    TLines lines(*mixer);
    ASSERT_EQ(lines.Names.size(), 2u);
    const auto monitor = std::find(lines.Names.begin(), lines.Names.end(), "Monitor of Null Output");
    ASSERT_NE(monitor, lines.Names.end());
    const int monitorIndex = static_cast<int>(monitor - lines.Names.begin());
    EXPECT_EQ(mixer->SourceName(monitorIndex), "ksink.monitor");
    EXPECT_EQ(TOptions::KeywordLine(lines.Names), monitorIndex);
    EXPECT_EQ(lines.Selected, "Null Input");

    SelectSource(*mixer, lines.Destination, lines.Selector, "monitor of null output");
    EXPECT_EQ(Pactl("get-default-source"), "ksink.monitor\n");

    SetSourceVolume(*mixer, lines.Destination, monitorIndex, 19661); // 30 %
    EXPECT_NE(Pactl("get-source-volume ksink.monitor").find("front-left: 19661 "), std::string::npos);

    Pactl("set-sink-volume ksink 30%");
    std::uint32_t id = 0;
    const std::uint16_t master = GetMasterVolume(*mixer, id);
    EXPECT_NEAR(master, 19661, 2); // 30 % of 65535
    SetControlValue(*mixer, id, 45000);
    EXPECT_NE(Pactl("get-sink-volume ksink").find("front-left: 45001 "), std::string::npos);
}

TEST_F(PulseMixer, CaptureSetUpLeavesSinkAndSourceVolumesAlone)
{
    test::TTempDir dir;
    Pactl("set-sink-volume ksink 100%");
    Pactl("set-source-volume ksink.monitor 100%");
    TMixerPlatform platform;
    platform.Open = [] { return TPulseMixer::Open(); };
    TOptions options(dir.File("k.ini"), platform, {dir.File("Records") + "/"});
    options.SetUpMixer("pulse:default");
    ASSERT_GE(options.LineIndex, 0);
    EXPECT_EQ(options.LineNames[static_cast<std::size_t>(options.LineIndex)], "Monitor of Null Output");
    EXPECT_NE(Pactl("get-sink-volume ksink").find("front-left: 65536 "), std::string::npos);
    EXPECT_NE(Pactl("get-source-volume ksink.monitor").find("front-left: 65536 "), std::string::npos);

    // A volume the user sets while the mixer is open stays.
    Pactl("set-sink-volume ksink 10%");
    const std::string sink = Pactl("get-sink-volume ksink");
    options.SelectLine("pulse:default", "Monitor of Null Output");
    EXPECT_EQ(Pactl("get-default-source"), "ksink.monitor\n");
    EXPECT_EQ(Pactl("get-sink-volume ksink"), sink);
    EXPECT_NE(Pactl("get-source-volume ksink.monitor").find("front-left: 65536 "), std::string::npos);
}

TEST(PulseMixerWithoutServer, OpenGivesNoMixer)
{
    test::TTempDir dir;
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    ::setenv("PULSE_SERVER", ("unix:" + dir.File("none")).c_str(), 1);
    EXPECT_EQ(TPulseMixer::Open(2000), nullptr);
    if (old)
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}

} // namespace
} // namespace kestrune
