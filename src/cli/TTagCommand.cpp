#include "cli/TTagCommand.h"

#include "formats/FileReaders.h"
#include "formats/FlacComments.h"
#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TagTrackFile.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::cli {

namespace {

// The file's comments with the four this command writes replaced (names in
// any letter case); the others (track number, date, ReplayGain) stay.
std::vector<std::string> MergedComments(const std::vector<std::string>& Old, const std::string& Title,
                                        const std::string& Artist, const std::string& Album, const std::string& Genre)
{
    const std::pair<const char*, const std::string*> ours[] = {
        {"TITLE", &Title}, {"ARTIST", &Artist}, {"ALBUM", &Album}, {"GENRE", &Genre}};
    std::vector<std::string> merged;
    for (const std::string& entry : Old) {
        std::string name = entry.substr(0, entry.find('='));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
        if (std::none_of(std::begin(ours), std::end(ours), [&](const auto& O) { return name == O.first; }))
            merged.push_back(entry);
    }
    for (const auto& [name, value] : ours)
        if (!value->empty())
            merged.push_back(std::string(name) + "=" + *value);
    return merged;
}

} // namespace

const char* TTagCommand::Usage()
{
    return "Usage: kestrune-cli tag FILE [options]\n"
           "\n"
           "Writes title, artist, album and genre into FILE: a RIFF INFO list for\n"
           ".wav files (UTF-8), Vorbis comments for .flac files (UTF-8; other\n"
           "comments stay), an ID3v1 tag for MP3 and APE files (ISO-8859-1,\n"
           "characters outside it become \"?\", texts cut to 30 bytes). An existing\n"
           "tag is replaced; the audio is not touched. A text not given is written\n"
           "empty. Ogg files, and MP3 or APE files that carry an ID3v2 or APE tag\n"
           "(which players read instead of ID3v1), are refused and left as they are.\n"
           "\n"
           "Options:\n"
           "  --title T      the song's title\n"
           "  --artist A     the artist\n"
           "  --album B      the album\n"
           "  --genre G      a genre name; ID3v1 stores its number in the genre list\n"
           "                 (255 when the name is not in it)\n"
           "  --genres FILE  the genre list to use instead of kestrune.gen beside the\n"
           "                 program or in its data folder\n"
           "  --json         one JSON object per line on stdout\n"
           "  --quiet        print nothing but errors\n"
           "  --help         this text\n";
}

const std::set<std::string>& TTagCommand::Flags()
{
    static const std::set<std::string> flags{};
    return flags;
}

const std::set<std::string>& TTagCommand::Options()
{
    static const std::set<std::string> options{"--title", "--artist", "--album", "--genre", "--genres"};
    return options;
}

int TTagCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>&)
{
    if (Args.Positional().size() != 1)
        throw EUsage("tag needs exactly one file");
    const std::string fileName = Args.Positional()[0];
    const std::string title = Args.Value("--title");
    const std::string artist = Args.Value("--artist");
    const std::string album = Args.Value("--album");
    const std::string genre = Args.Value("--genre");

    TGenreList genres;
    if (Args.Has("--genres")) {
        if (!genres.LoadFromFile(Args.Value("--genres"))) {
            Out.Error("cannot read the genre list \"" + Args.Value("--genres") + "\"");
            return 1;
        }
    } else {
        genres.LoadDefault(); // without the file every genre number is 255
    }

    const bool riff = TagsAsRiffInfo(fileName);
    const bool flac = AudioFileTypeOf(fileName) == TAudioFileType::aftFlac;
    try {
        if (flac)
            WriteFlacComments(fileName, MergedComments(ReadFlacComments(fileName), title, artist, album, genre));
        else
            TagTrackFile(fileName, title, artist, album, genre, genres);
    } catch (const std::exception& e) {
        Out.Error(e.what());
        return 1;
    }

    const char* format = riff ? "RIFF INFO" : flac ? "Vorbis comments" : "ID3v1";
    TCliOutput::TFields fields{{"file", TCliOutput::JsonString(fileName)}, {"format", TCliOutput::JsonString(format)},
                               {"title", TCliOutput::JsonString(title)},   {"artist", TCliOutput::JsonString(artist)},
                               {"album", TCliOutput::JsonString(album)},   {"genre", TCliOutput::JsonString(genre)}};
    std::string text = fileName + ": " +
                       (riff   ? "RIFF INFO list written"
                        : flac ? "Vorbis comments written"
                               : "ID3v1 tag written");
    if (!riff && !flac) {
        const int index = genres.IndexOf(genre);
        const int number = index >= 0 && index < TID3v1Tag::NoGenre ? index : TID3v1Tag::NoGenre;
        fields.emplace_back("genre_number", TCliOutput::JsonNumber(number));
        text += " (genre " + std::to_string(number) + ")";
    }
    Out.Result(text, "tagged", fields);
    return 0;
}

} // namespace kestrune::cli
