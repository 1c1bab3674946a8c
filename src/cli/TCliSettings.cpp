#include "cli/TCliSettings.h"

#include "settings/TIniFile.h"
#include "settings/TSettingsLocation.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kestrune::cli {

std::string TCliSettings::IniFileName(const TCliArgs& Args)
{
    if (Args.Has("--config")) {
        std::string file = Args.Value("--config");
        if (file.empty())
            throw EUsage("--config needs a file name");
        return file;
    }
    return TSettingsLocation::IniFileName(TSettingsLocation::ProgramFolder());
}

std::unique_ptr<TOptions> TCliSettings::Open(const TCliArgs& Args, IOptionsPlatform& Platform)
{
    const std::string folder = TSettingsLocation::RecordsFolder(TSettingsLocation::ProgramFolder());
    const std::string file = IniFileName(Args);
    const std::vector<std::string> overrides = Args.Values("--set");
    if (overrides.empty())
        return std::make_unique<TOptions>(file, Platform, TOptions::TDefaults{folder});

    // "--set Section/Key=Value" changes a setting for this run only: the
    // options load from a private copy of the file with the changes, so the
    // same reading rules apply, and the file itself stays as it is.
    TIniFile ini(file);
    for (const std::string& item : overrides) {
        const auto slash = item.find('/');
        const auto equals = item.find('=', slash == std::string::npos ? 0 : slash);
        if (slash == std::string::npos || equals == std::string::npos || slash == 0 || equals == slash + 1)
            throw EUsage("--set needs Section/Key=Value, not \"" + item + "\"");
        ini.WriteString(item.substr(0, slash), item.substr(slash + 1, equals - slash - 1), item.substr(equals + 1));
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-set-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder for --set");
    const std::filesystem::path copy = std::filesystem::path(pattern) / "kestrune.ini";
    std::unique_ptr<TOptions> options;
    try {
        std::ofstream(copy) << ini.Text();
        options = std::make_unique<TOptions>(copy.string(), Platform, TOptions::TDefaults{folder});
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(pattern, ignored);
        throw;
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    options->IniFileName = file;
    return options;
}

void TCliSettings::ApplyTrackOptions(const TCliArgs& Args, TOptions& Options)
{
    if (Args.Has("--folder")) {
        std::string folder = Args.Value("--folder");
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        Options.Folder = folder;
    }
    if (Args.Has("--format")) {
        const std::string format = Args.Value("--format");
        if (format != "WAV" && format != "MP3")
            throw EUsage("--format must be WAV or MP3");
        Options.Format = format;
    }
}

namespace {

TVorbisBitRate VorbisRate(const TCliArgs& Args, const std::string& Name)
{
    const std::string text = Args.Value(Name, "auto");
    if (text == "auto")
        return TVorbisBitRate::brAutoSelect;
    if (const auto rate = TOggSettings::FromKbps(Args.Integer(Name, 0, 1, 499)))
        return *rate;
    throw EUsage(Name + " must be auto or one of 45 48 56 64 80 96 112 128 144 160 192 224 256 320 499");
}

} // namespace

void TCliSettings::ApplyEncoderOptions(const TCliArgs& Args, TEncoderSettings& Settings)
{
    TWavSettings& wav = Settings.Wav;
    const std::string type = Args.Value("--wav-type", "pcm");
    if (type == "dvi-adpcm" || type == "ima-adpcm")
        wav.WavType = TWavType::wtDVIADPCM;
    else if (type == "pcm")
        wav.WavType = TWavType::wtPCM;
    else
        throw EUsage("--wav-type must be pcm or dvi-adpcm, not \"" + type + "\"");
    const long blockSize = Args.Integer("--block-size", 512, 8, 32768);
    if (const std::string problem = TWavSettings::BlockSizeProblem(static_cast<int>(blockSize)); !problem.empty())
        throw EUsage("--block-size " + std::to_string(blockSize) + ": " + problem);
    wav.BlockSize = static_cast<std::uint16_t>(blockSize);

    if (Args.Has("--bitrate")) {
        const auto rate = TMp3Settings::FromKbps(Args.Integer("--bitrate", 128, 8, 320));
        if (!rate)
            throw EUsage("--bitrate must be one of 8 16 24 32 40 48 56 64 80 96 112 128 144 160 192 224 256 320");
        Settings.Mp3.BitRate = *rate;
    }

    TOggSettings& ogg = Settings.Ogg;
    ogg.Compression = static_cast<float>(Args.Number("--ogg-quality", ogg.Compression, -0.1, 1.0));
    if (Args.Has("--ogg-nominal"))
        ogg.DesiredNominalBitrate = VorbisRate(Args, "--ogg-nominal");
    if (Args.Has("--ogg-max"))
        ogg.DesiredMaximumBitrate = VorbisRate(Args, "--ogg-max");
    if (Args.Has("--ogg-min"))
        ogg.MinimumBitrate = VorbisRate(Args, "--ogg-min");
    if (Args.Has("--ogg-serial"))
        ogg.Serial = static_cast<std::int32_t>(Args.Integer("--ogg-serial", 0, INT32_MIN, INT32_MAX));
    const std::vector<std::string> comments = Args.Values("--ogg-comment");
    for (const std::string& comment : comments)
        if (comment.find('=') == std::string::npos || comment.front() == '=')
            throw EUsage("--ogg-comment needs NAME=VALUE, not \"" + comment + "\"");
    if (!comments.empty())
        ogg.Comments = comments;

    TFlacSettings& flac = Settings.Flac;
    auto u16 = [&](const char* Name, long Current, long Max) {
        return static_cast<std::uint16_t>(Args.Integer(Name, Current, 0, Max));
    };
    // Any of the raw settings means the user sets them all: no preset then.
    for (const char* raw : {"--flac-block-size", "--flac-max-lpc-order", "--flac-qlp-precision",
                            "--flac-min-partition-order", "--flac-max-partition-order", "--flac-mid-side",
                            "--flac-loose-mid-side", "--flac-best-model-search", "--flac-precision-search"})
        if (Args.Has(raw))
            flac.CompressionLevel = -1;
    flac.CompressionLevel = static_cast<int>(Args.Integer("--flac-level", flac.CompressionLevel, -1, 8));
    flac.BlockSize = u16("--flac-block-size", flac.BlockSize, 65535);
    flac.MaxLPCOrder = u16("--flac-max-lpc-order", flac.MaxLPCOrder, 32);
    flac.QLPCoeffPrecision = u16("--flac-qlp-precision", flac.QLPCoeffPrecision, 15);
    flac.MinResidualPartitionOrder = u16("--flac-min-partition-order", flac.MinResidualPartitionOrder, 15);
    flac.MaxResidualPartitionOrder = u16("--flac-max-partition-order", flac.MaxResidualPartitionOrder, 15);
    flac.EnableMidSideStereo = Args.Switch("--flac-mid-side", flac.EnableMidSideStereo);
    flac.EnableLooseMidSideStereo = Args.Switch("--flac-loose-mid-side", flac.EnableLooseMidSideStereo);
    flac.BestModelSearch = Args.Switch("--flac-best-model-search", flac.BestModelSearch);
    flac.Verify = Args.Switch("--flac-verify", flac.Verify);
    flac.QLPCoeffPrecisionSearch = Args.Switch("--flac-precision-search", flac.QLPCoeffPrecisionSearch);

    if (Args.Has("--ape-level")) {
        const long level = Args.Integer("--ape-level", 2000, 1000, 5000);
        if (!TApeSettings::ValidLevel(level))
            throw EUsage("--ape-level must be 1000, 2000, 3000, 4000 or 5000");
        Settings.Ape.CompressionLevel = static_cast<int>(level);
    }
}

const std::set<std::string>& TCliSettings::EncoderOptions()
{
    static const std::set<std::string> options{"--bitrate",
                                               "--ogg-quality",
                                               "--ogg-nominal",
                                               "--ogg-min",
                                               "--ogg-max",
                                               "--ogg-serial",
                                               "--ogg-comment",
                                               "--flac-level",
                                               "--flac-block-size",
                                               "--flac-max-lpc-order",
                                               "--flac-qlp-precision",
                                               "--flac-min-partition-order",
                                               "--flac-max-partition-order",
                                               "--flac-mid-side",
                                               "--flac-loose-mid-side",
                                               "--flac-best-model-search",
                                               "--flac-verify",
                                               "--flac-precision-search",
                                               "--ape-level"};
    return options;
}

} // namespace kestrune::cli
