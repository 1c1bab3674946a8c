#pragma once

#include "pipeline/TStream.h"

#include <memory>

namespace kestrune {

// The byte stream of a streamed input or output: one the component opens
// itself and owns, or one the owner supplies (then the component neither
// opens nor frees it).
class TStreamHolder {
public:
    // Supply a stream owned by the caller; nullptr returns to file names.
    void SetStream(TStream* Supplied)
    {
        Stream = Supplied;
        StreamSupplied = Supplied != nullptr;
    }

protected:
    ~TStreamHolder() = default;

    // Takes a stream the component opened itself.
    void AdoptStream(std::unique_ptr<TStream> Own)
    {
        OwnStream = std::move(Own);
        Stream = OwnStream.get();
    }
    // Frees a stream the component opened itself; a supplied one stays.
    // What the stream still held back is written first, and a failure to
    // write it raises here (after the stream is let go), so a full disk at
    // the very end is a failure of the run, not a lost tail.
    void FreeOwnStream()
    {
        std::unique_ptr<TStream> own = std::move(OwnStream);
        if (!StreamSupplied)
            Stream = nullptr;
        if (own)
            own->Flush();
    }

    TStream* Stream = nullptr;
    bool StreamSupplied = false;

private:
    std::unique_ptr<TStream> OwnStream;
};

} // namespace kestrune
