#pragma once

#include "pipeline/TACSInput.h"
#include "pipeline/TStream.h"

#include <memory>

namespace kestrune {

// An input that reads a byte stream: one it opens itself from a file name, or
// one the owner supplies (then the input neither opens nor frees it).
class TACSStreamedInput : public TACSInput {
public:
    // Supply a stream owned by the caller; nullptr returns to file names.
    void SetStream(TStream* Supplied)
    {
        Stream = Supplied;
        StreamSupplied = Supplied != nullptr;
    }
    bool Rewindable() const { return FRewindable; }
    void SetRewindable(bool Value) { FRewindable = Value; }

protected:
    // Opens a stream of the input's own, which it then owns.
    void AdoptStream(std::unique_ptr<TStream> Own)
    {
        OwnStream = std::move(Own);
        Stream = OwnStream.get();
    }
    void FreeOwnStream()
    {
        OwnStream.reset();
        if (!StreamSupplied)
            Stream = nullptr;
    }

    TStream* Stream = nullptr;
    bool StreamSupplied = false;
    bool FRewindable = true;

private:
    std::unique_ptr<TStream> OwnStream;
};

} // namespace kestrune
