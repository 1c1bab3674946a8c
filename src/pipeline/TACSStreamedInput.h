#pragma once

#include "pipeline/TACSInput.h"
#include "pipeline/TStreamHolder.h"

namespace kestrune {

// An input that reads a byte stream (its own, from a file name, or one the
// owner supplies).
class TACSStreamedInput : public TACSInput, public TStreamHolder {
public:
    bool Rewindable() const { return FRewindable; }
    void SetRewindable(bool Value) { FRewindable = Value; }

protected:
    bool FRewindable = true;
};

} // namespace kestrune
