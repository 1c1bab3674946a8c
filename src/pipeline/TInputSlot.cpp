#include "pipeline/TInputSlot.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TInputSlot::~TInputSlot()
{
    if (TACSInput* in = Input.load())
        in->DetachUser(&Owner);
}

void TInputSlot::Set(TACSInput* Value, bool Running)
{
    TACSInput* old = Input.load();
    if (Value == old)
        return;
    if (Running && Value)
        Value->OpenInput();
    {
        TInputLock::TGuard guard(Guard);
        Input = Value;
    }
    if (Value)
        Value->AttachUser(&Owner);
    if (old) {
        old->DetachUser(&Owner);
        if (Running)
            old->CloseInput();
    }
}

void TInputSlot::Forget(TACSInput* Gone)
{
    TInputLock::TGuard guard(Guard);
    if (Input.load() == Gone)
        Input = nullptr;
}

int TInputSlot::Read(void* Buffer, int Size)
{
    TInputLock::TGuard guard(Guard);
    TACSInput* in = Input.load();
    if (!in)
        throw EACSException("Input is not assigned.");
    return in->ReadBlock(Buffer, Size);
}

} // namespace kestrune
