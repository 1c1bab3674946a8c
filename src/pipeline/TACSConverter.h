#pragma once

#include "pipeline/TACSInput.h"
#include "pipeline/TInputLock.h"
#include "pipeline/TInputSlot.h"

#include <atomic>

namespace kestrune {

// An input that reads another input. Its Input may be replaced while a run
// pulls through it: the new input is opened first, swapped under InputLock,
// and the old one closed afterwards, so a read never meets a half-swapped
// chain. Subclasses read their input with ReadFromInput, which holds the lock.
class TACSConverter : public TACSInput, public IInputUser {
public:
    TACSInput* Input() const { return Slot.Get(); }
    virtual void SetInput(TACSInput* Value);

protected:
    // Input.ReadBlock under InputLock; raises when no input is assigned.
    int ReadFromInput(void* Buffer, int Size);
    void InputRemoved(TACSInput* Gone) override;

    TInputLock InputLock;

private:
    TInputSlot Slot{*this, InputLock};
};

} // namespace kestrune
