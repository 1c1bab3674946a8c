#include "pipeline/TACSOutput.h"

#include "common/Rounding.h"
#include "pipeline/EACSException.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

// Marks the end of an event's delivery however the handler leaves.
class TACSOutput::TDeliveryGuard {
public:
    explicit TDeliveryGuard(TACSOutput& O) : Out(O) {}
    ~TDeliveryGuard() { Out.EventsDelivered(); }
    TDeliveryGuard(const TDeliveryGuard&) = delete;
    TDeliveryGuard& operator=(const TDeliveryGuard&) = delete;

private:
    TACSOutput& Out;
};

TACSOutput::TACSOutput()
{
    auto step = [this](bool Abort) {
        const bool more = WriteStep(Abort);
        if (!more && Abort)
            FRunStopped = true;
        return more;
    };
    Worker = std::make_unique<TACSThread>(
        step, [this] { FinishRun(); }, [this](const std::exception& E) { HandleStepFailure(E); });
}

TACSOutput::~TACSOutput()
{
    // The concrete part is gone already: the worker may make no more steps.
    if (Worker)
        Worker->Terminate(false);
}

void TACSOutput::DestroyWorker()
{
    if (!Worker)
        return;
    Worker->Terminate(true);
    if (FBusy.load()) {
        // The run was cut short by the destruction; finish the destination
        // (headers, file) rather than leave it half written.
        CanOutput = false;
        FRunStopped = true;
        try {
            CloseOutput();
        } catch (...) {
            // Nobody is left to report to.
        }
        SetIdle();
        EventsDelivered();
    }
}

void TACSOutput::Run()
{
    if (FBusy.load())
        throw EACSException("Component is buisy");
    if (!Slot.Get())
        throw EACSException("Input is not assigned");
    HeldAt = HeldBytes = 0;
    FRunStopped = false;
    FRunFailed = false;
    try {
        OpenOutput();
    } catch (const std::exception& e) {
        HandleStepFailure(e);
        return;
    }
    FBusy = true;
    Worker->StopRequested = false;
    CanOutput = true;
    Worker->Wake();
}

void TACSOutput::Stop()
{
    Worker->StopRequested = true;
}

TACSOutputStatus TACSOutput::Status() const
{
    if (!FBusy.load())
        return TACSOutputStatus::tosIdle;
    if (Worker->Parked())
        return TACSOutputStatus::tosPaused;
    return TACSOutputStatus::tosBusy;
}

int TACSOutput::Progress() const
{
    const TACSInput* in = Slot.Get();
    if (!in)
        return 0;
    const std::int64_t size = in->Size();
    if (size == -1)
        return -1;
    if (size <= 0)
        return 0;
    return PercentHalfEven(in->Position(), size);
}

void TACSOutput::SetInput(TACSInput* Value)
{
    Slot.Set(Value, FBusy.load());
}

void TACSOutput::InputRemoved(TACSInput* Gone)
{
    Slot.Forget(Gone);
}

bool TACSOutput::WaitForIdle(std::chrono::milliseconds Timeout) const
{
    std::unique_lock lock(IdleMutex);
    return IdleSignal.wait_for(lock, Timeout, [this] { return !FBusy.load() && !Delivering.load(); });
}

// Busy is cleared before the run's event fires (a handler may start the next
// run at once); Delivering covers the event itself for WaitForIdle.
void TACSOutput::SetIdle()
{
    {
        std::lock_guard lock(IdleMutex);
        Delivering = true;
        FBusy = false;
    }
    IdleSignal.notify_all();
}

void TACSOutput::EventsDelivered()
{
    {
        std::lock_guard lock(IdleMutex);
        Delivering = false;
    }
    IdleSignal.notify_all();
}

void TACSOutput::UpdateProgress()
{
    const int progress = Progress();
    if (progress == LastProgress)
        return;
    LastProgress = progress;
    if (OnProgress)
        OnProgress(this);
}

TACSInput& TACSOutput::RequireInput() const
{
    TACSInput* in = Slot.Get();
    if (!in)
        throw EACSException("Input is not assigned.");
    return *in;
}

int TACSOutput::ReadFromInput(void* Buffer, int Size)
{
    return Slot.Read(Buffer, Size);
}

TACSOutput::TFrames TACSOutput::ReadFrames(std::uint8_t* Buffer, int Capacity, int FrameBytes, bool Fill)
{
    if (HeldBytes > 0 && HeldAt > 0)
        std::memmove(Buffer, Buffer + HeldAt, static_cast<std::size_t>(HeldBytes));
    int have = HeldBytes;
    HeldAt = HeldBytes = 0;
    HeldFrameBytes = FrameBytes;
    TFrames got;
    bool waiting = false;
    {
        TInputLock::TGuard guard(InputLock);
        TACSInput& in = RequireInput();
        while (have < Capacity) {
            const int n = in.ReadBlock(Buffer + have, Capacity - have);
            if (n == 0) {
                got.Ended = true;
                break;
            }
            if (n < 0) {
                waiting = true;
                break;
            }
            have += std::min(n, Capacity - have);
            if (!Fill)
                break;
        }
    }
    if (Fill && waiting) {
        // The part gathered waits for the next step, which the worker paces
        // and a stop can end.
        HeldBytes = have;
        return got;
    }
    got.Count = have / FrameBytes;
    if (!got.Ended) {
        HeldAt = got.Count * FrameBytes;
        HeldBytes = have - HeldAt;
    }
    return got;
}

int TACSOutput::TakeHeldFrames()
{
    const int frames = HeldAt == 0 ? HeldBytes / HeldFrameBytes : 0;
    HeldAt = HeldBytes = 0;
    return frames;
}

void TACSOutput::FinishRun()
{
    if (!FBusy.load())
        return;
    CanOutput = false;
    try {
        CloseOutput();
    } catch (const std::exception& e) {
        // The destination could not be completed (a full disk while patching
        // the header): that is a failure, not a finished run.
        SetIdle();
        TDeliveryGuard delivered(*this);
        if (OnThreadException)
            OnThreadException(this, e);
        return;
    }
    SetIdle();
    TDeliveryGuard delivered(*this);
    if (OnDone)
        OnDone(this);
}

void TACSOutput::HandleStepFailure(const std::exception& E)
{
    // Input locks are scoped guards, released while the failure unwound, so
    // unlike a raw flag there is nothing left here to clear.
    FRunFailed = true;
    if (FBusy.load()) {
        try {
            CloseOutput();
        } catch (...) {
            // The first failure is the one the owner hears about.
        }
    }
    CanOutput = false;
    SetIdle();
    TDeliveryGuard delivered(*this);
    if (OnThreadException)
        OnThreadException(this, E);
}

} // namespace kestrune
