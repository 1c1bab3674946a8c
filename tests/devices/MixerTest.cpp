// The recording-line operations on a scripted mixer.
#include "devices/MixerLines.h"
#include "devices/TFakeMixer.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(MixerLines, ListSkipsSourcesThatCannotBeQueriedAndKeepsTheirIndexes)
{
    TFakeMixer mixer({"Microphone", "Line In", "CD Audio", "Stereo Mix"});
    mixer.Lines[2].Queryable = false;
    std::vector<std::string> list{"kept"};
    TRecordingDestination destination;
    ListRecordingSources(mixer, list, destination);

    EXPECT_EQ(list, (std::vector<std::string>{"kept", "Microphone", "Line In", "Stereo Mix"}));
    ASSERT_EQ(destination.Sources.size(), 3u);
    EXPECT_EQ(destination.Sources[2].Name, "Stereo Mix");
    EXPECT_EQ(destination.Sources[2].SourceIndex, 3);
    EXPECT_EQ(destination.Connections, 4);

    // Without a recording destination nothing changes.
    TFakeMixer none({"Microphone"});
    none.HasDestination = false;
    std::vector<std::string> untouched{"a"};
    TRecordingDestination before;
    ListRecordingSources(none, untouched, before);
    EXPECT_EQ(untouched, std::vector<std::string>{"a"});
    EXPECT_FALSE(before.Valid);
}

struct TSelectorScene {
    TFakeMixer Mixer{{"Microphone", "Line In", "Stereo Mix", "Aux"}};
    std::vector<std::string> Names;
    TRecordingDestination Destination;
    TSelectorScene() { ListRecordingSources(Mixer, Names, Destination); }
};

TEST(MixerLines, SelectedSourceIsTheLastSelectedItemAndPrefersTheMixerSelector)
{
    TSelectorScene scene;
    scene.Mixer.HasMixerSelector = true;
    scene.Mixer.ItemSelected = {false, true, false, true};
    std::string name = "unchanged";
    TSourceSelector selector;
    GetSelectedSource(scene.Mixer, scene.Destination, name, selector);
    EXPECT_EQ(name, "Aux");
    EXPECT_EQ(selector.Kind, TSelectorKind::skMixer);
    EXPECT_EQ(selector.ControlId, TFakeMixer::kMixerSelectorId);
    EXPECT_EQ(selector.Items, 4);

    scene.Mixer.HasMixerSelector = false;
    GetSelectedSource(scene.Mixer, scene.Destination, name, selector);
    EXPECT_EQ(selector.Kind, TSelectorKind::skMux);
}

TEST(MixerLines, SelectedSourceStaysWhenNothingAnswers)
{
    TSelectorScene scene;
    std::string name = "unchanged";
    TSourceSelector selector;
    scene.Mixer.SelectorReadFails = true;
    scene.Mixer.ItemSelected = {true, false, false, false};
    GetSelectedSource(scene.Mixer, scene.Destination, name, selector);
    EXPECT_EQ(name, "unchanged");
    EXPECT_TRUE(selector.Valid); // the control was found before the read failed

    scene.Mixer.SelectorReadFails = false;
    scene.Mixer.HasMuxSelector = false;
    TSourceSelector none;
    GetSelectedSource(scene.Mixer, scene.Destination, name, none);
    EXPECT_EQ(name, "unchanged");
    EXPECT_FALSE(none.Valid);
}

TEST(MixerLines, SelectSourceMatchesTwentyCharactersWithoutCase)
{
    struct TCase {
        std::vector<std::string> Items;
        std::string Given;
        std::vector<bool> Expected;
    };
    const TCase cases[] = {
        {{"Microphone", "Stereo Mix", "Line In"}, "stereo mix", {false, true, false}},
        {{"Mic", "Microphone"}, "MIC", {true, false}},
        // Only the first 20 characters count: both rear jacks agree there.
        {{"Line In Rear Panel Jack 1", "Line In Rear Panel Jack 2", "CD"},
         "LINE IN REAR PANEL JACK 9",
         {true, true, false}},
        {{"Microphone", "Line In"}, "Phone", {false, false}},
    };
    for (const TCase& c : cases) {
        TFakeMixer mixer(c.Items);
        mixer.HasMuxSelector = false;
        mixer.HasMixerSelector = true; // a mixer of switches shows every match
        mixer.ItemSelected.assign(c.Items.size(), true);
        std::vector<std::string> names;
        TRecordingDestination destination;
        ListRecordingSources(mixer, names, destination);
        std::string selected;
        TSourceSelector selector;
        GetSelectedSource(mixer, destination, selected, selector);
        SelectSource(mixer, destination, selector, c.Given);
        EXPECT_EQ(mixer.ItemSelected, c.Expected) << c.Given;
    }
}

TEST(MixerLines, SelectSourceWithoutReadableSelectorChangesNothing)
{
    TSelectorScene scene;
    scene.Mixer.ItemSelected = {true, false, false, false};
    std::string selected;
    TSourceSelector selector;
    GetSelectedSource(scene.Mixer, scene.Destination, selected, selector);
    scene.Mixer.SelectorReadFails = true;
    SelectSource(scene.Mixer, scene.Destination, selector, "Stereo Mix");
    EXPECT_EQ(scene.Mixer.SelectorWrites, 0);
    EXPECT_EQ(scene.Mixer.ItemSelected, (std::vector<bool>{true, false, false, false}));
}

TEST(MixerLines, SourceVolumeSetsFirstAndLastChannel)
{
    TFakeMixer mixer({"Microphone", "Line In", "Aux"});
    mixer.Lines[0].Channels = 1;
    mixer.Lines[0].Volume = {5};
    mixer.Lines[2].HasVolume = false;
    std::vector<std::string> names;
    TRecordingDestination destination;
    ListRecordingSources(mixer, names, destination);

    SetSourceVolume(mixer, destination, 0, 1234);
    SetSourceVolume(mixer, destination, 1, 40000);
    SetSourceVolume(mixer, destination, 2, 999); // no volume control
    SetSourceVolume(mixer, destination, 7, 999); // no such line
    EXPECT_EQ(mixer.LineVolume(0), std::vector<std::uint16_t>{1234});
    EXPECT_EQ(mixer.LineVolume(1), (std::vector<std::uint16_t>{40000, 40000}));
    EXPECT_EQ(mixer.LineVolume(2), (std::vector<std::uint16_t>{0, 0}));
    EXPECT_EQ(mixer.VolumeWrites, 2);
}

TEST(MixerLines, MasterVolumeFallsBackTo30000)
{
    TFakeMixer mixer({"Microphone"});
    mixer.Master = 51234;
    mixer.MasterId = 42;
    std::uint32_t id = 7;
    EXPECT_EQ(GetMasterVolume(mixer, id), 51234);
    EXPECT_EQ(id, 42u);

    mixer.MasterReadFails = true;
    id = 7;
    EXPECT_EQ(GetMasterVolume(mixer, id), 30000);
    EXPECT_EQ(id, 42u); // the control was found, only its value is unknown

    mixer.HasMaster = false;
    id = 7;
    EXPECT_EQ(GetMasterVolume(mixer, id), 30000);
    EXPECT_EQ(id, 7u);
}

TEST(MixerLines, ControlValueIsSetOnlyWhenReadable)
{
    TFakeMixer mixer({"Microphone"});
    SetControlValue(mixer, mixer.MasterId, 45000);
    EXPECT_EQ(mixer.MasterValue(), 45000);
    mixer.MasterReadFails = true;
    SetControlValue(mixer, mixer.MasterId, 20000);
    EXPECT_EQ(mixer.MasterValue(), 45000);
    EXPECT_EQ(mixer.MasterWrites, 1);
}

} // namespace
} // namespace kestrune
