#include "cd/TRipLog.h"

#include "common/TPartFile.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

std::string Hex(std::uint32_t Value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", Value);
    return text;
}

std::string Plural(int Count, const char* One, const char* Many)
{
    return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

} // namespace

std::string TRipLog::VerdictText(const TAccurateRipVerdict& Verdict)
{
    switch (Verdict.Kind) {
    case TAccurateRipVerdict::vkAccurate:
        return "accurately ripped (confidence " + std::to_string(Verdict.Confidence) + ", AccurateRip v" +
               std::to_string(Verdict.Version) + ")";
    case TAccurateRipVerdict::vkNotInDatabase:
        return "not in the AccurateRip database";
    case TAccurateRipVerdict::vkMismatch:
        return "mismatched: none of " + Plural(Verdict.Submissions, "submitted rip", "submitted rips") +
               " has these checksums";
    case TAccurateRipVerdict::vkNotChecked:
        break;
    }
    return "not verified";
}

std::string TRipLog::Summary() const
{
    int accurate = 0;
    int notInDatabase = 0;
    int mismatched = 0;
    int unverified = 0;
    int unread = 0;
    for (const TRipLogTrack& t : Tracks) {
        if (!t.Error.empty()) {
            ++unread;
            continue;
        }
        switch (t.Verdict.Kind) {
        case TAccurateRipVerdict::vkAccurate:
            ++accurate;
            break;
        case TAccurateRipVerdict::vkNotInDatabase:
            ++notInDatabase;
            break;
        case TAccurateRipVerdict::vkMismatch:
            ++mismatched;
            break;
        case TAccurateRipVerdict::vkNotChecked:
            ++unverified;
            break;
        }
    }
    const int total = static_cast<int>(Tracks.size());
    if (total > 0 && accurate == total)
        return "All " + Plural(total, "track", "tracks") + " accurately ripped.";
    std::string text = std::to_string(accurate) + " of " + Plural(total, "track", "tracks") + " accurately ripped";
    const auto add = [&text](int Count, const char* What) {
        if (Count > 0)
            text += ", " + std::to_string(Count) + " " + What;
    };
    add(mismatched, "mismatched");
    add(notInDatabase, "not in the database");
    add(unverified, "not verified");
    add(unread, "not read");
    return text + ".";
}

std::string TRipLog::Text() const
{
    std::string out;
    const auto line = [&out](const std::string& Text) { out += Text + "\n"; };
    const std::time_t seconds = std::chrono::system_clock::to_time_t(Time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);

    line(std::string("Kestrune rip log, ") + when);
    line("");
    if (!Artist.empty() || !Album.empty())
        line("Album: " + Artist + (Artist.empty() || Album.empty() ? "" : " / ") + Album);
    line("Drive: " + DriveName + (DriveModel.empty() ? "" : " (" + DriveModel + ")"));
    static const char* const modes[] = {"plain reads, no comparison", "overlapping reads, compared",
                                        "paranoia, every check; gives up on a sector after the attempts",
                                        "paranoia, every check; never gives up on a sector"};
    line(std::string("Read mode: ") + modes[std::clamp(ReadMode, 0, 3)]);
    line("Read attempts per sector: " + std::to_string(ReadAttempts));
    static const char* const actions[] = {"stop the track", "replace it by silence", "leave it out"};
    line(std::string("Unreadable sector: ") + actions[std::clamp(ReadAction, 0, 2)]);
    if (Disc)
        line("AccurateRip disc: " + Disc->Name());
    if (!Lookup)
        line("AccurateRip database: not asked");
    else if (Lookup->Status == TAccurateRipLookup::lsFound)
        line("AccurateRip database: " + Plural(static_cast<int>(Lookup->Chunks.size()), "entry", "entries") +
             " for this disc");
    else if (Lookup->Status == TAccurateRipLookup::lsNotInDatabase)
        line("AccurateRip database: the disc is not in the database");
    else
        line("AccurateRip database: not verified (" + Lookup->Error + ")");

    for (const TRipLogTrack& t : Tracks) {
        line("");
        line("Track " + std::to_string(t.Number));
        line("  File: " + t.File);
        if (!t.Error.empty()) {
            line("  Not read: " + t.Error);
            continue;
        }
        line("  Retries: " + std::to_string(t.Checks.Retries));
        if (t.Checks.Unreadable > 0)
            line("  Damaged: " + UnreadableText(t.Checks, ReadAction));
        line("  CRC32: " + Hex(t.Checks.Crc32));
        line("  AccurateRip v1: " + Hex(t.Checks.ArV1));
        line("  AccurateRip v2: " + Hex(t.Checks.ArV2));
        line("  Verdict: " + VerdictText(t.Verdict));
    }
    line("");
    line("Summary: " + Summary());
    return out;
}

void TRipLog::Write(const std::filesystem::path& Path) const
{
    const std::string text = Text();
    try {
        // Named only once complete, and never over a log that is there.
        TPartFile part(Path);
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t n = ::write(part.Fd(), text.data() + at, text.size() - at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error(std::string("Cannot write it. ") + std::strerror(n < 0 ? errno : ENOSPC));
            at += static_cast<std::size_t>(n);
        }
        part.Sync();
        part.Commit();
    } catch (const std::exception& e) {
        throw EACSException("The rip log " + Path.string() + " could not be written: " + e.what());
    }
}

std::string TRipLog::UnreadableText(const TTrackChecks& Checks, int ReadAction)
{
    return Plural(Checks.Unreadable, "sector", "sectors") + " could not be read and " +
           (Checks.Unreadable == 1 ? "was " : "were ") + (ReadAction == 2 ? "left out." : "replaced by silence.");
}

} // namespace kestrune
