#pragma once

#include "pipeline/TACSInput.h"
#include "pipeline/TInputLock.h"

#include <atomic>

namespace kestrune {

// The Input property of an output or a converter: the input it pulls, the
// protocol for replacing it while a run pulls through it, and the bookkeeping
// that unhooks an input that is being destroyed.
class TInputSlot {
public:
    TInputSlot(IInputUser& User, TInputLock& Lock) : Owner(User), Guard(Lock) {}
    ~TInputSlot();
    TInputSlot(const TInputSlot&) = delete;
    TInputSlot& operator=(const TInputSlot&) = delete;

    TACSInput* Get() const { return Input.load(); }
    // Stores the input. While Running, the new input is opened before the
    // swap and the old one closed after it, so a step never reads an input
    // that is being replaced. Owner's thread.
    void Set(TACSInput* Value, bool Running);
    // The input is being destroyed: forget it without closing it.
    void Forget(TACSInput* Gone);
    // Input.ReadBlock under the lock; raises "Input is not assigned." without one.
    int Read(void* Buffer, int Size);

private:
    IInputUser& Owner;
    TInputLock& Guard;
    std::atomic<TACSInput*> Input{nullptr};
};

} // namespace kestrune
