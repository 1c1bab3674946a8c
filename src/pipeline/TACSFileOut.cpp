#include "pipeline/TACSFileOut.h"

#include "common/TPartFile.h"
#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace kestrune {

TACSFileOut::~TACSFileOut() = default;

std::string TACSFileOut::OpenOwnFile()
{
    Part.reset();
    FCommitted = false;
    if (FileName().empty())
        throw EACSException("File name is not assigned.");
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = FileName();
    const fs::file_status status = fs::status(target, error);
    // A device or a pipe (/dev/null) is written as it is; so is anything
    // else that is no regular file, which then fails to open as before.
    if (fs::exists(status) && !fs::is_regular_file(status))
        return FileName();
    // Through a link the file it leads to is replaced, not the link.
    if (fs::is_symlink(fs::symlink_status(target, error))) {
        const fs::path real = fs::weakly_canonical(target, error);
        if (!error)
            target = real;
    }
    if (fs::exists(status) && !Overwrite())
        throw EACSException("Cannot create file \"" + FileName() + "\". File exists");
    const fs::path folder = target.parent_path();
    TPartFile::ClearLeftovers(folder);
    try {
        // What a recording kept of a killed run is named, not removed.
        Part = std::make_unique<TPartFile>(target, Overwrite(), KeepCutShort());
    } catch (const std::runtime_error& e) {
        throw EACSException(e.what());
    }
    return Part->TempPath().string();
}

void TACSFileOut::OpenOwnStream()
{
    FCommitted = false;
    if (StreamSupplied)
        return;
    if (FileName().empty())
        throw EACSException("File name is not assigned.");
    std::error_code ignored;
    // Appending changes the file in place: there is nothing to rename.
    const bool append = FileMode() == TFileOutputMode::foAppend && std::filesystem::exists(FileName(), ignored);
    const std::string name = append ? FileName() : OpenOwnFile();
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(name,
                                             append || Part ? TFileOpenMode::fmOpenReadWrite : TFileOpenMode::fmCreate);
    } catch (...) {
        Part.reset();
        throw;
    }
    // Writers hand over a block per step, often a few kilobytes; gathering
    // them saves a system call each.
    file->SetWriteBuffer(std::size_t{64} * 1024);
    AdoptStream(std::move(file));
}

void TACSFileOut::FreeOwnStream()
{
    try {
        TStreamHolder::FreeOwnStream();
    } catch (...) {
        Part.reset();
        throw;
    }
    Part.reset();
}

TACSInput& TACSFileOut::OpenInputOrRelease()
{
    TACSInput& in = RequireInput();
    try {
        in.OpenInput();
    } catch (...) {
        FreeOwnStream();
        throw;
    }
    return in;
}

void TACSFileOut::AbandonOpen(TACSInput& In)
{
    try {
        In.CloseInput();
    } catch (...) {
    }
    FreeOwnStream();
}

void TACSFileOut::FinishClose(std::exception_ptr Failure)
{
    try {
        // The last buffered write happens here and may find the disk full.
        TStreamHolder::FreeOwnStream();
    } catch (...) {
        if (!Failure)
            Failure = std::current_exception();
    }
    if (Part) {
        const std::unique_ptr<TPartFile> part = std::move(Part);
        const bool cutShort = RunFailed() || RunStopped();
        if (!Failure && (!cutShort || KeepCutShort())) {
            try {
                part->Commit();
                FCommitted = true;
            } catch (const std::exception& e) {
                Failure = std::make_exception_ptr(EACSException(e.what()));
            }
        }
    }
    if (TACSInput* in = Input()) {
        try {
            in->CloseInput();
        } catch (...) {
            if (!Failure)
                Failure = std::current_exception();
        }
    }
    if (Failure)
        std::rethrow_exception(Failure);
}

} // namespace kestrune
