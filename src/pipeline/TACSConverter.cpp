#include "pipeline/TACSConverter.h"

#include "pipeline/EACSException.h"

namespace kestrune {

void TACSConverter::SetInput(TACSInput* Value)
{
    if (Value == this)
        return;
    Slot.Set(Value, Busy());
}

int TACSConverter::ReadFromInput(void* Buffer, int Size)
{
    return Slot.Read(Buffer, Size);
}

void TACSConverter::InputRemoved(TACSInput* Gone)
{
    Slot.Forget(Gone);
}

} // namespace kestrune
