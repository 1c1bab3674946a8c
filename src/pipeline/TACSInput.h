#pragma once

#include "common/TComponent.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kestrune {

class TACSInput;

// Implemented by whatever holds an input through its Input property (outputs
// and converters), so that an input being freed can unhook itself.
class IInputUser {
public:
    virtual void InputRemoved(TACSInput* Gone) = 0;

protected:
    ~IInputUser() = default;
};

// The source end of a chain. Inputs are opened on the thread that calls the
// output's Run, read on the output's worker, and closed there.
//
// Position and Size are byte counts of PCM in the input's format; Size is -1
// for an input without a fixed length (a capture). Both are read by the
// window thread (progress) while the worker advances them.
class TACSInput : public TComponent {
public:
    ~TACSInput() override;

    virtual int InBitsPerSample() = 0; // 8, 16 or 24
    virtual int InChannels() = 0;
    virtual int InSampleRate() = 0; // Hz
    // Length in whole seconds; 0 when unknown.
    virtual int TotalTime() { return 0; }
    // Copies at most Size bytes into Buffer. Returns the count, 0 at the end
    // of the data, or -1 for "nothing this time, ask again".
    virtual int ReadBlock(void* Buffer, int Size) = 0;
    // Closes the input, whatever state it is in; never raises.
    virtual void AbortInput();
    virtual void OpenInput() = 0;
    virtual void CloseInput() = 0;

    std::int64_t Position() const { return FPosition.load(); }
    std::int64_t Size() const { return FSize.load(); }
    bool Busy() const { return FBusy.load(); }

    // Bookkeeping for IInputUser; called by the users' Input setters.
    void AttachUser(IInputUser* User);
    void DetachUser(IInputUser* User);

protected:
    std::atomic<std::int64_t> FPosition{0};
    std::atomic<std::int64_t> FSize{0};
    std::atomic<bool> FBusy{false};

    // Cursor into an input's own buffer: BufStart is the 1-based index of the
    // next byte to hand out, BufEnd the count of valid bytes. Empty when
    // BufStart > BufEnd.
    int BufStart = 1;
    int BufEnd = 0;

private:
    std::mutex UsersMutex;
    std::vector<IInputUser*> Users;
};

} // namespace kestrune
