#pragma once

#include "formats/TFLACOut.h"
#include "formats/TMACOut.h"
#include "formats/TMP3BitRate.h"
#include "formats/TMP3Out.h"
#include "formats/TVorbisBitRate.h"
#include "formats/TVorbisOut.h"
#include "formats/TWavType.h"
#include "formats/TWaveOut.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// The encoder settings of the five writers as plain values, so the option
// dialogs, the command line's flags and the conversion window hand the same
// thing around. The rules about which values a writer takes stay in the
// writers' setters; ApplyTo goes through those setters in one fixed order and
// ReadFrom gives back what the writer kept, so a value the writer refuses
// never looks accepted.
//
// Threads: the writers' setters are meant for an idle writer, on the window
// thread; so are these.

struct TWavSettings {
    using TWriter = TWaveOut;

    TWavType WavType = TWavType::wtPCM;
    std::uint16_t BlockSize = 512; // bytes of an ADPCM block

    // The list of the wave-type chooser; the index is the TWavType value.
    static const std::vector<std::string>& WavTypeTexts();
    // Why ADPCM cannot be written in blocks of BlockSize bytes for some input
    // the writer takes (mono or stereo); empty when it can.
    static std::string BlockSizeProblem(int BlockSize);
    // Block size first, then the type: a writer ignores a size or a type it
    // cannot write, and both while it is busy.
    void ApplyTo(TWaveOut& Out) const;
    static TWavSettings ReadFrom(const TWaveOut& Out);
    bool operator==(const TWavSettings&) const = default;
};

struct TMp3Settings {
    using TWriter = TMP3Out;

    TMP3BitRate BitRate = TMP3BitRate::br128;

    // "8" ... "320": the bit-rate lists of the MP3 dialog and of the
    // recording settings; the index is the TMP3BitRate value.
    static const std::vector<std::string>& BitRateTexts();
    // The bit rate of Kbps kbit/s, or none when MP3 has no such rate.
    static std::optional<TMP3BitRate> FromKbps(long Kbps);
    // The bit rate at list position Index, or none outside the list.
    static std::optional<TMP3BitRate> FromIndex(int Index);
    void ApplyTo(TMP3Out& Out) const;
    static TMp3Settings ReadFrom(const TMP3Out& Out);
    bool operator==(const TMp3Settings&) const = default;
};

struct TOggSettings {
    using TWriter = TVorbisOut;

    float Compression = 0.2f; // quality, -0.1 to 1
    TVorbisBitRate DesiredNominalBitrate = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate DesiredMaximumBitrate = TVorbisBitRate::brAutoSelect;
    TVorbisBitRate MinimumBitrate = TVorbisBitRate::brAutoSelect;
    std::int32_t Serial = 0;
    std::vector<std::string> Comments; // "NAME=value", one per line

    // "AutoSelect", "45" ... "499": the three bit-rate lists; the index is
    // the TVorbisBitRate value.
    static const std::vector<std::string>& BitRateTexts();
    // The list entry of Kbps kbit/s (not AutoSelect), or none.
    static std::optional<TVorbisBitRate> FromKbps(long Kbps);
    // The lines of a multi-line text (CR LF, LF or CR), empty lines left out.
    static std::vector<std::string> CommentLines(const std::string& Text);
    // The nominal rate goes first: its setter pulls the limits along, and
    // limits set before it would be measured against the old nominal rate
    // and lost. Then the maximum and the minimum, which the writer takes only
    // when they agree with the nominal rate.
    void ApplyTo(TVorbisOut& Out) const;
    static TOggSettings ReadFrom(const TVorbisOut& Out);
    bool operator==(const TOggSettings&) const = default;
};

struct TFlacSettings {
    using TWriter = TFLACOut;

    // libFLAC's preset, as flac -5 by default; -1 uses the settings below.
    int CompressionLevel = 5;
    std::uint16_t BlockSize = 4608;
    std::uint16_t MaxLPCOrder = 0;
    std::uint16_t MinResidualPartitionOrder = 0;
    std::uint16_t MaxResidualPartitionOrder = 0;
    std::uint16_t QLPCoeffPrecision = 0;
    bool BestModelSearch = false;
    bool Verify = false;
    bool EnableMidSideStereo = true;
    bool EnableLooseMidSideStereo = false;
    bool QLPCoeffPrecisionSearch = false;

    // The numbers, then the flags in the order that gives every flag its
    // own value except that loose mid-side needs mid-side: the best-model
    // setter's side effects are overridden by the flags set after it, and
    // the loose setter turns mid-side on.
    void ApplyTo(TFLACOut& Out) const;
    static TFlacSettings ReadFrom(const TFLACOut& Out);
    bool operator==(const TFlacSettings&) const = default;
};

struct TApeSettings {
    using TWriter = TMACOut;

    int CompressionLevel = 2000; // 1000 fast ... 5000 insane

    // "Fast", "Normal", "High", "Extra High", "Insane" for 1000 ... 5000.
    static const std::vector<std::string>& LevelTexts();
    static bool ValidLevel(long Level);
    void ApplyTo(TMACOut& Out) const;
    static TApeSettings ReadFrom(const TMACOut& Out);
    bool operator==(const TApeSettings&) const = default;
};

// What a writer that holds Current keeps when it is given Asked: a value it
// refuses leaves the one it had. The option dialogs show this after "Save",
// so no value looks accepted that the writer dropped. Current must itself be
// a kept set (one that ReadFrom gave back).
template <class TSettings>
TSettings KeptSettings(const TSettings& Current, const TSettings& Asked)
{
    typename TSettings::TWriter scratch;
    Current.ApplyTo(scratch);
    Asked.ApplyTo(scratch);
    return TSettings::ReadFrom(scratch);
}

// The five together, as the conversion window's writers hold them.
struct TEncoderSettings {
    TWavSettings Wav;
    TMp3Settings Mp3;
    TOggSettings Ogg;
    TFlacSettings Flac;
    TApeSettings Ape;
    bool operator==(const TEncoderSettings&) const = default;
};

} // namespace kestrune
