#pragma once

#include "devices/IMixer.h"
#include "devices/MixerLines.h"
#include "settings/IOptionsPlatform.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// Every user setting in one object, loaded from the ini file when it is
// created and written back only by Save; besides them the run-time state the
// settings window and the recorder need: the capture devices with the chosen
// one, the recording lines of that device's mixer with the chosen one, and the
// open mixer.
//
// Loading and saving touch nothing but the file: the sound card's mixer is
// opened and set only when a capture starts (SetUpMixer), on the device that
// capture actually uses. Of the mixer only the line recorded from is ever
// chosen; no volume is set, neither the playback (master) volume nor the
// recording line's: the desktop's volumes are the user's, and a recording
// level forced from the master volume made recordings of the desktop's own
// playback come out near silent. The recorder and the noise capture tell the
// user instead when the input stays near silence or clips (TInputLevelCheck).
//
// Threads: everything runs on the window thread, except Level8 and Level16,
// which the recorder and the noise capture read and write on their workers.
class TOptions {
public:
    // Where the defaults that depend on the installation point.
    struct TDefaults {
        std::string Folder; // the default root of the recordings, ending with "/"
    };

    // Stores IniFileName and loads it.
    TOptions(std::string IniFileName, IOptionsPlatform& Platform, TDefaults Defaults);
    ~TOptions();
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    // Writes every stored field, the original sections first, into a new
    // file that replaces the old one. Raises std::runtime_error when the file
    // cannot be written.
    void Save();

    // Clears List and fills it with the quality strings that capture device
    // DeviceIndex (of DriverNames) can record.
    void ListFormats(int DeviceIndex, std::vector<std::string>& List);
    void ListFormats(const std::string& Device, std::vector<std::string>& List);

    // The capture device chosen (DriverNames[DriverIndex]), or "" when none is.
    // A virtual device is chosen only when the settings or the user name it.
    std::string ChosenDriver() const;

    // A capture on Device is about to start: closes any mixer open before,
    // opens Device's mixer, chooses the recording line (the saved InputLine,
    // selecting it on the mixer when it is not selected yet, else the keyword
    // rule). No volume is read or set. A device without a mixer leaves Mixer empty, LineNames empty
    // and LineIndex -1; that is no error. Window thread.
    void SetUpMixer(const std::string& Device);

    // Driver := Name, and Name becomes the chosen device (DriverIndex); a
    // device not listed yet (a WAV file as a card) is added with Description.
    // An empty Name chooses none.
    void ChooseDriver(const std::string& Name, const std::string& Description = "");

    // What the settings window shows for Device's mixer without changing it:
    // the recording lines and the one SetUpMixer would choose (-1 for none).
    // Opens the mixer only to read it. Empty for a device without a mixer.
    struct TLineChoice {
        std::vector<std::string> Names;
        int Index = -1;
    };
    TLineChoice ListLines(const std::string& Device);

    // The user chose Line as Device's recording line: its mixer records from
    // it at once (through the mixer SetUpMixer opened when it is Device's,
    // otherwise through Device's mixer, opened for this alone). Nothing happens for a device without a mixer.
    void SelectLine(const std::string& Device, const std::string& Line);

    // The fingerprint lookup service used when the settings name none.
    static constexpr const char* DefaultRecognitionServer = "https://api.acoustid.org/v2/lookup";

    // The recording line that the keyword rule picks from Lines, or -1.
    static int KeywordLine(const std::vector<std::string>& Lines);

    // The quality strings, in list order, with their formats.
    struct TQuality {
        const char* Text;
        int SampleRate;
        int Channels;
        int BitsPerSample;
    };
    static const std::vector<TQuality>& Qualities();

    std::string IniFileName;
    std::string Folder;
    std::string Driver;
    std::string InputLine;
    std::string FormatString;
    std::int32_t SamplesPerSec = 44100;
    std::int32_t BitsPerSample = 16;
    std::int32_t Channels = 2;
    std::string Format;
    std::int32_t Bitrate = 11;
    bool AutoRecognize = true;
    std::int32_t SilenceLg = 1500;
    std::int32_t MinLength = 15;
    std::atomic<std::int32_t> Level8{10};
    std::atomic<std::int32_t> Level16{1500};
    std::int32_t WriterMode = 0;
    std::string WriterDrive;
    std::int32_t WriterSpeed = 4;
    bool CloseAtEnd = true;
    std::int32_t WriterMethod = 1;
    bool UseProxy = false;
    std::string ProxyServer;
    std::int32_t ProxyPort = 0;
    std::string RipPath;
    std::int32_t ReadOpt = 0;
    std::int32_t ReadAtt = 1;
    std::int32_t ReadAct = 0;
    std::int32_t FreeDBServer = 0;
    std::int32_t FreeDBPort = 80;
    // Settings of the Linux stand-ins, in sections after the original ones.
    std::string RecognitionServer; // [Recognition] Server: the fingerprint lookup service
    std::string RecognitionKey;    // [Recognition] Key: its application key
    std::string PlaybackDriver;    // [Playback] Driver: where "listen" plays; empty is the default
    std::string RipEmail;          // [Rip] Email: the address album-information servers ask for
    std::string ImagePath;         // [CDWriter] ImagePath: the image drive's cue sheet; empty is ImageCuePath's default
    std::int32_t ImageMinutes = 80; // [CDWriter] ImageMinutes: the capacity of the image drive's disc

    // Where the image drive writes: ImagePath, or "CD image.cue" in Folder.
    std::string ImageCuePath() const;

    // Run-time state, never written.
    std::int32_t DriverIndex = -1;
    std::vector<std::string> DriverNames;
    std::vector<std::string> DriverDescriptions; // in step with DriverNames; may be ""
    std::int32_t LineIndex = -1;
    std::vector<std::string> LineNames;
    std::unique_ptr<IMixer> Mixer; // the mixer SetUpMixer opened; may be empty
    TRecordingDestination RecordingDestination;
    TSourceSelector SourceSelector;

private:
    void Load();
    // The line to record from on an open mixer, from the lines listed and the
    // one the mixer has selected.
    int ChooseLine(const std::vector<std::string>& Names, const std::string& Selected) const;

    IOptionsPlatform& Platform;
    TDefaults Defaults;
    std::string MixerDevice; // the device whose mixer Mixer is
};

} // namespace kestrune
