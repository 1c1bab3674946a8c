#include "cli/TTagCommand.h"

#include "formats/TGenreList.h"
#include "formats/TID3v1Tag.h"
#include "formats/TagTrackFile.h"

#include <exception>

namespace kestrune::cli {

const char* TTagCommand::Usage()
{
    return "Usage: kestrune-cli tag FILE [options]\n"
           "\n"
           "Writes title, artist, album and genre into FILE: a RIFF INFO list for\n"
           ".wav files (UTF-8), an ID3v1 tag for all others (ISO-8859-1, characters\n"
           "outside it become \"?\", texts cut to 30 bytes). An existing tag is\n"
           "replaced; the audio is not touched. A text not given is written empty.\n"
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
    try {
        TagTrackFile(fileName, title, artist, album, genre, genres);
    } catch (const std::exception& e) {
        Out.Error(e.what());
        return 1;
    }

    TCliOutput::TFields fields{
        {"file", TCliOutput::JsonString(fileName)}, {"format", TCliOutput::JsonString(riff ? "RIFF INFO" : "ID3v1")},
        {"title", TCliOutput::JsonString(title)},   {"artist", TCliOutput::JsonString(artist)},
        {"album", TCliOutput::JsonString(album)},   {"genre", TCliOutput::JsonString(genre)}};
    std::string text = fileName + ": " + (riff ? "RIFF INFO list written" : "ID3v1 tag written");
    if (!riff) {
        const int index = genres.IndexOf(genre);
        const int number = index >= 0 && index < TID3v1Tag::NoGenre ? index : TID3v1Tag::NoGenre;
        fields.emplace_back("genre_number", TCliOutput::JsonNumber(number));
        text += " (genre " + std::to_string(number) + ")";
    }
    Out.Result(text, "tagged", fields);
    return 0;
}

} // namespace kestrune::cli
