#include "pipeline/TACSConverter.h"

#include "pipeline/EACSException.h"

namespace kestrune {

TACSConverter::~TACSConverter()
{
    if (TACSInput* in = FInput.load())
        in->DetachUser(this);
}

void TACSConverter::SetInput(TACSInput* Value)
{
    if (Value == this)
        return;
    TACSInput* old = FInput.load();
    if (Value == old)
        return;
    if (!Busy()) {
        if (old)
            old->DetachUser(this);
        FInput = Value;
        if (Value)
            Value->AttachUser(this);
        return;
    }
    if (Value)
        Value->OpenInput();
    {
        TInputLock::TGuard guard(InputLock);
        FInput = Value;
    }
    if (Value)
        Value->AttachUser(this);
    if (old) {
        old->DetachUser(this);
        old->CloseInput();
    }
}

int TACSConverter::ReadFromInput(void* Buffer, int Size)
{
    TInputLock::TGuard guard(InputLock);
    TACSInput* in = FInput.load();
    if (!in)
        throw EACSException("Input is not assigned.");
    return in->ReadBlock(Buffer, Size);
}

void TACSConverter::InputRemoved(TACSInput* Gone)
{
    // The input is being destroyed: only forget it, it can no longer be closed.
    TInputLock::TGuard guard(InputLock);
    if (FInput.load() == Gone)
        FInput = nullptr;
}

} // namespace kestrune
