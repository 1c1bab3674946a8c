#include "formats/FileReaders.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

// A file's type by its extension, in any letter case; a bare extension with
// or without its dot names the type too (the conversion's format lookup
// takes those).
TEST(FileReaders, TypeByExtension)
{
    using T = TAudioFileType;
    const std::vector<std::pair<std::string, std::optional<T>>> cases{
        {"/music/a.wav", T::aftWav},   {"Song.MP3", T::aftMp3},  {"x.Ogg", T::aftOgg},
        {"live.ape", T::aftApe},       {"b.flac", T::aftFlac},   {".FLAC", T::aftFlac},
        {"mp3", T::aftMp3},            {"a.wav.gz", std::nullopt}, {"song.wma", std::nullopt},
        {"/music/wav", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& [name, type] : cases) {
        EXPECT_EQ(AudioFileTypeOf(name), type) << name;
        if (type) {
            EXPECT_NE(NewFileReader(*type), nullptr) << name;
        }
    }
}

} // namespace
} // namespace kestrune
