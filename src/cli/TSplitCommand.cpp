#include "cli/TSplitCommand.h"

#include "cli/TCliSettings.h"
#include "cli/TRecordCommand.h"
#include "common/PathNames.h"
#include "common/TPartFile.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "formats/FileReaders.h"
#include "formats/TMP3ToWav.h"
#include "formats/TWaveIn.h"
#include "settings/TSystemOptionsPlatform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace kestrune::cli {

namespace fs = std::filesystem;

namespace {

// A private folder for the decoded MP3, gone with the command.
class TTempFolder {
public:
    TTempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "kestrune-split-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder in " + fs::temp_directory_path().string());
        Path = pattern;
    }
    ~TTempFolder()
    {
        std::error_code ignored;
        fs::remove_all(Path, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    fs::path Path;
};

// The file input that reads the recording, by its extension, as the
// conversion's format table has it: MP3 is decoded into a temporary WAV file
// first and read as WAV.
std::unique_ptr<TACSFileIn> InputFor(const std::string& File, std::unique_ptr<TTempFolder>& Temp)
{
    // Only a real extension names the type: a file called "wav" is no WAV.
    const std::string extension = fs::path(File).extension().string();
    const std::optional<TAudioFileType> type = extension.empty() ? std::nullopt : AudioFileTypeOf(extension);
    if (!type)
        throw EUsage("split reads .wav, .mp3, .ogg, .flac and .ape files");
    if (*type != TAudioFileType::aftMp3) {
        std::unique_ptr<TACSFileIn> input = NewFileReader(*type);
        input->SetFileName(File);
        return input;
    }
    Temp = std::make_unique<TTempFolder>();
    const std::string readFrom = (Temp->Path / "decoded.wav").string();
    TMP3ToWav decoder;
    decoder.SetInputFile(File);
    decoder.SetOutputFile(readFrom);
    std::string failure;
    bool success = true;
    decoder.OnDone = [&](TComponent*, bool Success) { success = Success; };
    decoder.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
    decoder.Run();
    // Decoding runs as fast as the machine allows; a bound still, so a
    // decoder that never ends says so instead of hanging the command.
    if (!decoder.WaitForIdle(std::chrono::minutes(30)))
        throw std::runtime_error("decoding " + File + " did not end within 30 minutes");
    if (!failure.empty())
        throw std::runtime_error(failure);
    if (!success)
        throw std::runtime_error(File + " could not be decoded");
    auto input = std::make_unique<TWaveIn>();
    input->SetFileName(readFrom);
    return input;
}

} // namespace

const char* TSplitCommand::Usage()
{
    return "Usage: kestrune-cli split FILE [options]\n"
           "\n"
           "Cuts an existing recording (WAV, MP3, Ogg Vorbis, FLAC or APE) into one\n"
           "file per song in FOLDER/ALBUM, where the level stays under the noise\n"
           "level for the silence length, by the recorder's own rules. Settings not\n"
           "given here come from the settings file.\n"
           "\n"
           "Options:\n"
           "  --album NAME        album folder name (default: the file's name)\n"
           "  --folder DIR        where album folders go (also --out-dir)\n"
           "  --format WAV|MP3    file format of the tracks\n"
           "  --level N           noise level (of 16-bit audio; of 8-bit for 8-bit files)\n"
           "  --measure-level     take the noise level from the file's quietest stretch\n"
           "  --cue               also write ALBUM.cue with the tracks' places in FILE\n"
           "  --config FILE       settings file to use\n"
           "  --set S/K=V         a setting of the file for this run only; may repeat\n"
           "  --json              one JSON object per line on stdout\n"
           "  --quiet             print nothing but errors and results\n"
           "  --help              this text\n";
}

const std::set<std::string>& TSplitCommand::Flags()
{
    static const std::set<std::string> flags{"--measure-level", "--cue"};
    return flags;
}

const std::set<std::string>& TSplitCommand::Options()
{
    static const std::set<std::string> options{"--album", "--folder", "--format", "--level", "--config", "--set"};
    return options;
}

int TSplitCommand::QuietestLevel(TACSInput& Input, int WindowMs)
{
    Input.OpenInput();
    const int bits = Input.InBitsPerSample();
    const int channels = std::max(1, Input.InChannels());
    const int bytes = bits / 8;
    const int frameBytes = bytes * channels;
    // Peaks of 10 ms pieces, then the quietest run of pieces that fills the
    // window: the largest of its peaks is that stretch's level.
    const std::int64_t pieceFrames = std::max(1, Input.InSampleRate() / 100);
    const auto windowPieces = static_cast<size_t>(std::max(1, WindowMs / 10));
    std::vector<int> peaks;
    int piecePeak = 0;
    std::int64_t inPiece = 0;
    std::vector<std::uint8_t> buffer(static_cast<size_t>(frameBytes) * 4096);
    size_t kept = 0;
    for (;;) {
        const int got = Input.ReadBlock(buffer.data() + kept, static_cast<int>(buffer.size() - kept));
        if (got <= 0)
            break;
        const size_t have = kept + static_cast<size_t>(got);
        const size_t whole = have / static_cast<size_t>(frameBytes) * static_cast<size_t>(frameBytes);
        for (size_t at = 0; at < whole; at += static_cast<size_t>(frameBytes)) {
            for (int c = 0; c < channels; ++c) {
                const std::uint8_t* s = buffer.data() + at + static_cast<size_t>(c * bytes);
                int magnitude;
                if (bits == 8) {
                    magnitude = std::abs(static_cast<int>(s[0]) - 128);
                } else if (bits == 16) {
                    magnitude = std::abs(static_cast<int>(static_cast<std::int16_t>(s[0] | (s[1] << 8))));
                } else {
                    std::int32_t v = s[0] | (s[1] << 8) | (s[2] << 16);
                    if (v & 0x800000)
                        v -= 0x1000000;
                    magnitude = (std::abs(v) + 255) / 256;
                }
                piecePeak = std::max(piecePeak, magnitude);
            }
            if (++inPiece == pieceFrames) {
                peaks.push_back(piecePeak);
                piecePeak = 0;
                inPiece = 0;
            }
        }
        kept = have - whole;
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(whole),
                  buffer.begin() + static_cast<std::ptrdiff_t>(have), buffer.begin());
    }
    Input.CloseInput();
    if (inPiece > 0)
        peaks.push_back(piecePeak);
    if (peaks.empty())
        return 0;
    // Sliding maximum over the window, its smallest value over the file.
    const size_t window = std::min(windowPieces, peaks.size());
    std::deque<size_t> candidates;
    int quietest = -1;
    for (size_t i = 0; i < peaks.size(); ++i) {
        while (!candidates.empty() && peaks[candidates.back()] <= peaks[i])
            candidates.pop_back();
        candidates.push_back(i);
        if (candidates.front() + window <= i)
            candidates.pop_front();
        if (i + 1 >= window) {
            const int level = peaks[candidates.front()];
            quietest = quietest < 0 ? level : std::min(quietest, level);
        }
    }
    return quietest;
}

int TSplitCommand::LevelAbovePeak(int Peak, int BitsPerSample)
{
    // Half again the peak (3.5 dB) leaves room for gaps whose floor is not
    // quite as low as the quietest one. Dither keeps the "silence" of a
    // 16-bit file within a few steps of zero, and gaps of digital silence
    // sit beside dithered ones on the same mix: a level of 8 (-72 dBFS)
    // still hears every song as sound.
    const int most = BitsPerSample == 8 ? 127 : 32767;
    int level = Peak + 1 + Peak / 2;
    if (BitsPerSample != 8)
        level = std::max(level, 8);
    return std::clamp(level, 1, most);
}

std::string TSplitCommand::CueTime(std::int64_t Bytes, std::int64_t BytesPerSecond)
{
    // Cue sheets count in CD frames, 75 to the second.
    const std::int64_t frames = BytesPerSecond > 0 ? Bytes * 75 / BytesPerSecond : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(frames / 75 / 60),
                  static_cast<long long>(frames / 75 % 60), static_cast<long long>(frames % 75));
    return text;
}

int TSplitCommand::Execute(const TCliArgs& Args, TCliOutput& Out, const std::atomic<bool>& Interrupted)
{
    if (Args.Positional().size() != 1)
        throw EUsage("split takes one file name");
    const std::string file = Args.Positional().front();
    if (Args.Has("--level") && Args.Flag("--measure-level"))
        throw EUsage("give --level or --measure-level, not both");
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        Out.Error(file + ": no such file");
        return 1;
    }

    TPlainDispatcher dispatcher;
    TSystemOptionsPlatform platform;
    std::unique_ptr<TOptions> options = TCliSettings::Open(Args, platform);
    TCliSettings::ApplyTrackOptions(Args, *options);
    const std::string album = Args.Has("--album") ? Args.Value("--album") : fs::path(file).stem().string();
    if (album.empty())
        throw EUsage("--album needs a name");

    std::unique_ptr<TTempFolder> temp;
    std::unique_ptr<TACSFileIn> input;
    try {
        input = InputFor(file, temp);
        if (Args.Has("--level")) {
            const int level = static_cast<int>(Args.Integer("--level", 0, 0, 32767));
            options->Level16 = level;
            options->Level8 = std::min(level, 127);
        } else if (Args.Flag("--measure-level")) {
            // The noise capture listens to 20 seconds of noise alone; a
            // recording between songs rarely has that much. The shortest
            // stretch that still means something is the silence length
            // itself: a gap shorter than that never ends a track, so its
            // quietest such stretch is the quiet the splitter has to hear
            // as quiet. The level stands above its largest sample, so that
            // all of it counts as quiet.
            const int peak = QuietestLevel(*input, options->SilenceLg);
            const int level = LevelAbovePeak(peak, input->InBitsPerSample());
            options->Level16 = level;
            options->Level8 = std::min(level, 127);
            Out.Info("Noise level " + std::to_string(level) + " (the quietest " + std::to_string(options->SilenceLg) +
                     " ms peak at " + std::to_string(peak) + ")");
        }
    } catch (const EUsage&) {
        throw;
    } catch (const std::exception& e) {
        Out.Error(e.what());
        return 1;
    }

    TRecordingsList* listRef = nullptr;
    TCliRecorderView view(Out, listRef);
    TPlainDialogs dialogs;
    TRecordingsList list(view);
    listRef = &list;
    TRecorder recorder(*options, list, view, dialogs, dispatcher);
    recorder.Job().Subscribe(&view);
    recorder.SetSource(input.get());
    recorder.SetAlbumName(album);
    const fs::path albumFolder = fs::path(options->Folder) / CleanPathComponent(album);
    Out.Info("Splitting " + file + " into " + albumFolder.string());

    recorder.StartRecording();
    bool stopSent = false;
    while (!dispatcher.WaitServing([&] { return !recorder.Recording(); }, std::chrono::milliseconds(100))) {
        if (Interrupted.load() && !stopSent) {
            recorder.StopRecording();
            stopSent = true;
        }
    }
    Out.EndProgress();
    if (!view.Finished) {
        Out.Error("the split did not start");
        return 1;
    }
    if (view.FOutcome == TJobOutcome::joFailed) {
        Out.Error(view.Status);
        return 1;
    }
    if (stopSent) {
        // Interrupted: what ended by the rules before is kept, the track
        // that was cut off is gone, and the split as a whole did not happen.
        view.PrintSummary(recorder);
        Out.Error("the split was interrupted; tracks that ended before it are kept, the track cut off is not");
        return 1;
    }

    if (Args.Flag("--cue") && list.Count() > 0) {
        // One FILE, the recording itself, with an INDEX where each kept track
        // begins: the sheet gives the cut points in the recording's own time,
        // and a single-file sheet is what players read most widely (a
        // sheet of several FILE entries is not read by all of them).
        const fs::path cue = albumFolder / (CleanPathComponent(album) + ".cue");
        std::string sheet;
        const std::string type = AudioFileTypeOf(file) == TAudioFileType::aftMp3 ? "MP3" : "WAVE";
        sheet += "FILE \"" + fs::absolute(file).string() + "\" " + type + "\r\n";
        for (int row = 0; row < list.Count(); ++row) {
            const TRecordingRow& r = list.Row(row);
            char number[16];
            std::snprintf(number, sizeof number, "%02d", row + 1);
            sheet += std::string("  TRACK ") + number + " AUDIO\r\n";
            sheet += "    TITLE \"" + fs::path(r.Data->FileName).stem().string() + "\"\r\n";
            sheet += "    INDEX 01 " +
                     CueTime(std::max<std::int64_t>(0, r.Data->StartByte), recorder.CaptureBytesPerSecond()) + "\r\n";
        }
        // Written whole under a temporary name; the sheet of an earlier
        // split of this album is replaced, as it describes the same file.
        try {
            TPartFile part(cue, true);
            for (std::size_t done = 0; done < sheet.size();) {
                const ssize_t n = ::write(part.Fd(), sheet.data() + done, sheet.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw std::runtime_error(std::strerror(errno));
                done += static_cast<std::size_t>(n);
            }
            part.Commit();
        } catch (const std::exception& e) {
            Out.Error("cannot write " + cue.string() + ": " + e.what());
            return 1;
        }
        Out.Info("Cue sheet " + cue.string());
    }
    view.PrintSummary(recorder);
    return 0;
}

} // namespace kestrune::cli
