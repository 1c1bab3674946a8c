#include "formats/FileReaders.h"

#include "formats/TFLACIn.h"
#include "formats/TMACIn.h"
#include "formats/TMP3In.h"
#include "formats/TVorbisIn.h"
#include "formats/TWaveIn.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <utility>

namespace kestrune {

namespace {

constexpr std::array<std::pair<const char*, TAudioFileType>, 5> Extensions{{
    {".wav", TAudioFileType::aftWav},
    {".mp3", TAudioFileType::aftMp3},
    {".ogg", TAudioFileType::aftOgg},
    {".ape", TAudioFileType::aftApe},
    {".flac", TAudioFileType::aftFlac},
}};

} // namespace

std::optional<TAudioFileType> AudioFileTypeOf(const std::string& FileName)
{
    std::string extension = std::filesystem::path(FileName).extension().string();
    // A bare extension: "wav" has no extension as a path, ".wav" is a
    // hidden file's name.
    if (extension.empty())
        extension = FileName.empty() || FileName.front() == '.' ? FileName : "." + FileName;
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& [text, type] : Extensions)
        if (extension == text)
            return type;
    return std::nullopt;
}

const char* ReadableTypesText()
{
    return "WAV, MP3, Ogg Vorbis, FLAC and APE";
}

std::unique_ptr<TACSFileIn> NewFileReader(TAudioFileType Type)
{
    switch (Type) {
    case TAudioFileType::aftWav:
        return std::make_unique<TWaveIn>();
    case TAudioFileType::aftMp3:
        return std::make_unique<TMP3In>();
    case TAudioFileType::aftOgg:
        return std::make_unique<TVorbisIn>();
    case TAudioFileType::aftApe:
        return std::make_unique<TMACIn>();
    case TAudioFileType::aftFlac:
        return std::make_unique<TFLACIn>();
    }
    return nullptr;
}

} // namespace kestrune
