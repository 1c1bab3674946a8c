#include "settings/TEncoderSettings.h"

namespace kestrune {

const std::vector<std::string>& TWavSettings::WavTypeTexts()
{
    static const std::vector<std::string> texts{"Unsupported", "PCM", "DVIADPCM", "MSADPCM", "ACM"};
    return texts;
}

std::string TWavSettings::BlockSizeProblem(int BlockSize)
{
    for (const int channels : {1, 2})
        if (std::string problem = TWaveOut::AdpcmBlockProblem(channels, BlockSize); !problem.empty())
            return problem;
    return {};
}

void TWavSettings::ApplyTo(TWaveOut& Out) const
{
    Out.SetBlockSize(BlockSize);
    Out.SetWavType(WavType);
}

TWavSettings TWavSettings::ReadFrom(const TWaveOut& Out)
{
    return {Out.WavType(), Out.BlockSize()};
}

const std::vector<std::string>& TMp3Settings::BitRateTexts()
{
    static const std::vector<std::string> texts = [] {
        std::vector<std::string> list;
        for (int i = 0; i < MP3BitRateCount; ++i)
            list.push_back(std::to_string(MP3BitRateKbps(static_cast<TMP3BitRate>(i))));
        return list;
    }();
    return texts;
}

std::optional<TMP3BitRate> TMp3Settings::FromKbps(long Kbps)
{
    for (int i = 0; i < MP3BitRateCount; ++i)
        if (MP3BitRateKbps(static_cast<TMP3BitRate>(i)) == Kbps)
            return static_cast<TMP3BitRate>(i);
    return std::nullopt;
}

std::optional<TMP3BitRate> TMp3Settings::FromIndex(int Index)
{
    if (Index < 0 || Index >= MP3BitRateCount)
        return std::nullopt;
    return static_cast<TMP3BitRate>(Index);
}

void TMp3Settings::ApplyTo(TMP3Out& Out) const
{
    Out.SetBitRate(BitRate);
}

TMp3Settings TMp3Settings::ReadFrom(const TMP3Out& Out)
{
    return {Out.BitRate()};
}

const std::vector<std::string>& TOggSettings::BitRateTexts()
{
    static const std::vector<std::string> texts{"AutoSelect", "45",  "48",  "56",  "64",  "80",  "96",  "112",
                                                "128",        "144", "160", "192", "224", "256", "320", "499"};
    return texts;
}

std::optional<TVorbisBitRate> TOggSettings::FromKbps(long Kbps)
{
    const auto& texts = BitRateTexts();
    for (std::size_t i = 1; i < texts.size(); ++i)
        if (texts[i] == std::to_string(Kbps))
            return static_cast<TVorbisBitRate>(i);
    return std::nullopt;
}

std::vector<std::string> TOggSettings::CommentLines(const std::string& Text)
{
    std::vector<std::string> lines;
    std::string line;
    auto flush = [&] {
        if (!line.empty())
            lines.push_back(line);
        line.clear();
    };
    for (const char c : Text) {
        if (c == '\r' || c == '\n')
            flush();
        else
            line += c;
    }
    flush();
    return lines;
}

void TOggSettings::ApplyTo(TVorbisOut& Out) const
{
    Out.SetCompression(Compression);
    Out.SetSerial(Serial);
    Out.SetDesiredNominalBitrate(DesiredNominalBitrate);
    Out.SetDesiredMaximumBitrate(DesiredMaximumBitrate);
    Out.SetMinimumBitrate(MinimumBitrate);
    Out.SetComments(Comments);
}

TOggSettings TOggSettings::ReadFrom(const TVorbisOut& Out)
{
    TOggSettings s;
    s.Compression = Out.Compression();
    s.DesiredNominalBitrate = Out.DesiredNominalBitrate();
    s.DesiredMaximumBitrate = Out.DesiredMaximumBitrate();
    s.MinimumBitrate = Out.MinimumBitrate();
    s.Serial = Out.Serial();
    s.Comments = Out.Comments();
    return s;
}

void TFlacSettings::ApplyTo(TFLACOut& Out) const
{
    Out.SetCompressionLevel(CompressionLevel);
    Out.SetBlockSize(BlockSize);
    Out.SetMaxLPCOrder(MaxLPCOrder);
    Out.SetMinResidualPartitionOrder(MinResidualPartitionOrder);
    Out.SetMaxResidualPartitionOrder(MaxResidualPartitionOrder);
    Out.SetQLPCoeffPrecision(QLPCoeffPrecision);
    Out.SetBestModelSearch(BestModelSearch);
    Out.SetVerify(Verify);
    Out.SetEnableMidSideStereo(EnableMidSideStereo);
    Out.SetEnableLooseMidSideStereo(EnableLooseMidSideStereo);
    Out.SetQLPCoeffPrecisionSearch(QLPCoeffPrecisionSearch);
}

TFlacSettings TFlacSettings::ReadFrom(const TFLACOut& Out)
{
    TFlacSettings s;
    s.CompressionLevel = Out.CompressionLevel();
    s.BlockSize = Out.BlockSize();
    s.MaxLPCOrder = Out.MaxLPCOrder();
    s.MinResidualPartitionOrder = Out.MinResidualPartitionOrder();
    s.MaxResidualPartitionOrder = Out.MaxResidualPartitionOrder();
    s.QLPCoeffPrecision = Out.QLPCoeffPrecision();
    s.BestModelSearch = Out.BestModelSearch();
    s.Verify = Out.Verify();
    s.EnableMidSideStereo = Out.EnableMidSideStereo();
    s.EnableLooseMidSideStereo = Out.EnableLooseMidSideStereo();
    s.QLPCoeffPrecisionSearch = Out.QLPCoeffPrecisionSearch();
    return s;
}

const std::vector<std::string>& TApeSettings::LevelTexts()
{
    static const std::vector<std::string> texts{"Fast", "Normal", "High", "Extra High", "Insane"};
    return texts;
}

bool TApeSettings::ValidLevel(long Level)
{
    return Level >= 1000 && Level <= 5000 && Level % 1000 == 0;
}

void TApeSettings::ApplyTo(TMACOut& Out) const
{
    Out.SetCompressionLevel(CompressionLevel);
}

TApeSettings TApeSettings::ReadFrom(const TMACOut& Out)
{
    return {Out.CompressionLevel()};
}

} // namespace kestrune
