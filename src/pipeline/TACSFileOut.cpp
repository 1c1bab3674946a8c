#include "pipeline/TACSFileOut.h"

#include "pipeline/EACSException.h"
#include "pipeline/TFileStream.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace kestrune {

void TACSFileOut::OpenOwnStream()
{
    if (StreamSupplied)
        return;
    if (FileName().empty())
        throw EACSException("File name is not assigned.");
    std::error_code ignored;
    const bool append = FileMode() == TFileOutputMode::foAppend && std::filesystem::exists(FileName(), ignored);
    auto file =
        std::make_unique<TFileStream>(FileName(), append ? TFileOpenMode::fmOpenReadWrite : TFileOpenMode::fmCreate);
    // Writers hand over a block per step, often a few kilobytes; gathering
    // them saves a system call each.
    file->SetWriteBuffer(std::size_t{64} * 1024);
    AdoptStream(std::move(file));
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
        FreeOwnStream();
    } catch (...) {
        if (!Failure)
            Failure = std::current_exception();
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
