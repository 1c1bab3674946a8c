#pragma once

#include <filesystem>
#include <string>

namespace kestrune {

// A file written under a temporary name beside its target and given its real
// name only once it is complete, so that nothing under a finished-looking
// name is ever half written: a run that is killed (kill -9, a closed
// terminal), fails or is cancelled leaves at most a temporary.
//
// The temporary is named
//
//     .NAME.PID-N.kestrune-part
//
// in the target's folder: hidden (a leading dot), NAME the target's own name
// (shortened when the whole would not fit in a file name), PID the writing
// process and N a count within it, and always the suffix ".kestrune-part",
// by which leftovers are recognised. It is created with the mode the umask
// allows (0666 & ~umask), like any other file the user makes, and the writer
// holds an advisory lock (flock) on it for as long as it lives. The kernel
// drops that lock when the writer dies, however it dies, so a leftover whose
// lock can be taken and whose process is gone is one nobody will finish:
// ClearLeftovers removes exactly those, and nothing else.
//
// Commit renames the temporary onto the target. Linux's rename replaces an
// existing file silently; unless Replace was given, an existing target is
// never replaced (renameat2 with RENAME_NOREPLACE, or a hard link where the
// file system lacks it) and Commit fails instead. Whatever is not committed
// is removed when the object goes.
//
// A recording cannot be made again, so its temporaries are the exception:
// made with KeepIfKilled they end in ".kestrune-keep", and ClearLeftovers
// gives such a leftover a name of its own, "NAME (recovered).EXT" (or
// "NAME (recovered N).EXT" where that is taken), instead of removing it.
// What a killed writer left is readable up to where it stopped; a WAV
// header that was never finished is read to the end of the file.
//
// Errors are std::runtime_error with a text for the user.
class TPartFile {
public:
    // Creates the temporary beside Target; the folder must exist.
    explicit TPartFile(const std::filesystem::path& Target, bool Replace = false, bool KeepIfKilled = false);
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    const std::filesystem::path& Target() const { return FTarget; }
    // Where the data goes until Commit; empty once committed or discarded.
    const std::filesystem::path& TempPath() const { return FTemp; }
    // The temporary, open for reading and writing (-1 once closed).
    int Fd() const { return FFd; }

    // Writes what the file holds to the disk (before Commit, where a power
    // cut must not leave an empty file under the real name).
    void Sync();
    // Gives the temporary its real name and closes it.
    void Commit();
    // Removes the temporary now (also done by the destructor).
    void Discard();

    // True for a name of the form above.
    static bool IsPartName(const std::string& FileName);
    // Removes the temporaries in Folder whose writer is gone (and names
    // those made with KeepIfKilled, as above); returns how many. Files of any other name, and temporaries still being written by
    // a live process, are left alone. Never fails: a folder that cannot be
    // read has nothing removed.
    static int ClearLeftovers(const std::filesystem::path& Folder);

private:
    std::filesystem::path FTarget;
    std::filesystem::path FTemp;
    bool FReplace = false;
    int FFd = -1;
};

} // namespace kestrune
