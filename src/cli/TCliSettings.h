#pragma once

#include "cli/TCliArgs.h"
#include "settings/IOptionsPlatform.h"
#include "settings/TEncoderSettings.h"
#include "settings/TOptions.h"

#include <memory>
#include <set>
#include <string>

namespace kestrune::cli {

// The platform of commands that need no sound card (ripping, burning): the
// settings are read without asking the sound system for its devices and
// mixers, which costs more than reading a short track.
class TNoSoundDevices final : public IOptionsPlatform {
public:
    std::vector<TDeviceInfo> CaptureDevices() override { return {}; }
    std::vector<TAudioFormat> CaptureFormats(const std::string&) override { return {}; }
    std::unique_ptr<IMixer> OpenMixer(const std::string&) override { return nullptr; }
};

// The settings file of a command: the one "--config FILE" names, or else the
// one the desktop program uses (beside the executables, or under
// $XDG_CONFIG_HOME/kestrune). A command that reads settings declares
// "--config" among its options.
class TCliSettings {
public:
    static std::string IniFileName(const TCliArgs& Args);
    // Loads the options from that file; the default folders follow the
    // executables' place.
    static std::unique_ptr<TOptions> Open(const TCliArgs& Args, IOptionsPlatform& Platform);
    // The track options that recording and splitting share: "--folder DIR"
    // and "--format WAV|MP3" override the loaded settings for this run.
    static void ApplyTrackOptions(const TCliArgs& Args, TOptions& Options);
    // The encoder flags of the convert command ("--wav-type", "--bitrate",
    // "--ogg-...", "--flac-...", "--ape-level") change Settings; a flag not
    // given leaves its value. A value the writer would ignore is a usage
    // error here, so it never passes silently.
    static void ApplyEncoderOptions(const TCliArgs& Args, TEncoderSettings& Settings);
    // The names of those flags for the encoders of MP3, Ogg Vorbis, Monkey's
    // Audio and FLAC; the WAV flags "--wav-type" and "--block-size" come on
    // top for commands that write WAV through the WAV writer.
    static const std::set<std::string>& EncoderOptions();
};

} // namespace kestrune::cli
