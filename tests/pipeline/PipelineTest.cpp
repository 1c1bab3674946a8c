#include "pipeline/EACSException.h"
#include "pipeline/TACSOutput.h"
#include "pipeline/TAudioProcessor.h"
#include "pipeline/TNULLOut.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <mutex>
#include <thread>

using namespace kestrune;
using namespace kestrune::test;
using namespace std::chrono_literals;

namespace {

const TAudioFormat Stereo16{44100, 16, 2};

// An output that keeps what it pulls, following the step pattern of the file
// writers: -1 means "ask again", 0 ends the run.
class TCollectOut final : public TACSOutput {
public:
    ~TCollectOut() override { DestroyWorker(); }

    std::vector<std::uint8_t> Data() const
    {
        std::lock_guard lock(Mutex);
        return Collected;
    }

    std::function<void()> OpenHook;
    std::atomic<int> CloseCount{0};

protected:
    void OpenOutput() override
    {
        if (OpenHook)
            OpenHook();
        RequireInput().OpenInput();
    }
    bool WriteStep(bool Abort) override
    {
        if (!CanOutput.load())
            return true;
        UpdateProgress();
        if (Abort)
            return false;
        std::uint8_t buffer[1024];
        const int n = ReadFromInput(buffer, sizeof buffer);
        if (n == -1)
            return true;
        std::lock_guard lock(Mutex);
        Collected.insert(Collected.end(), buffer, buffer + std::max(n, 0));
        return n > 0;
    }
    void CloseOutput() override
    {
        ++CloseCount;
        if (TACSInput* in = Input())
            in->CloseInput();
    }

private:
    mutable std::mutex Mutex;
    std::vector<std::uint8_t> Collected;
};

// What an owner sees of a run: which event came, on which thread, how often.
struct TRunWatch {
    std::atomic<int> Done{0};
    std::atomic<int> Failures{0};
    std::mutex Mutex;
    std::string Message;
    std::thread::id FailureThread;

    void Attach(TACSOutput& Out)
    {
        Out.OnDone = [this](TComponent*) { ++Done; };
        Out.OnThreadException = [this](TComponent*, const std::exception& E) {
            std::lock_guard lock(Mutex);
            Message = E.what();
            FailureThread = std::this_thread::get_id();
            ++Failures;
        };
    }
};

std::vector<std::uint8_t> Bytes(size_t Count, std::uint8_t Seed = 1)
{
    std::vector<std::uint8_t> out(Count);
    for (size_t i = 0; i < Count; ++i)
        out[i] = static_cast<std::uint8_t>(Seed + i * 7);
    return out;
}

// Makes an input hand out "nothing this time" until Release is set.
std::function<int(int)> HoldUntil(std::atomic<bool>& Release)
{
    return [&Release](int) {
        if (!Release.load()) {
            std::this_thread::sleep_for(1ms);
            return -1;
        }
        return INT_MIN;
    };
}

} // namespace

TEST(Pipeline, RunPullsEverythingAndEndsNormally)
{
    const auto data = Bytes(10000);
    TFakeInput in(Stereo16, data, static_cast<std::int64_t>(data.size()));
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&in);

    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data(), data);
    EXPECT_EQ(watch.Done.load(), 1);
    EXPECT_EQ(watch.Failures.load(), 0);
    EXPECT_EQ(out.CloseCount.load(), 1);
    EXPECT_EQ(in.Closes.load(), 1);
    EXPECT_EQ(out.Status(), TACSOutputStatus::tosIdle);

    // Idle again and ready for another run on the same chain.
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data().size(), 2 * data.size());
    EXPECT_EQ(watch.Done.load(), 2);
}

TEST(Pipeline, StopEndsRunAtNextStepWithDone)
{
    std::atomic<bool> release{false};
    TFakeInput in(Stereo16, Bytes(100), -1);
    in.Hook = HoldUntil(release);
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&in);

    out.Run();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(out.Status(), TACSOutputStatus::tosBusy);
    out.Stop();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(watch.Done.load(), 1);
    EXPECT_EQ(watch.Failures.load(), 0);
    EXPECT_TRUE(out.Data().empty());
    EXPECT_EQ(in.Closes.load(), 1);
}

TEST(Pipeline, StopWhileIdleDoesNotAffectNextRun)
{
    const auto data = Bytes(5000);
    TFakeInput in(Stereo16, data, static_cast<std::int64_t>(data.size()));
    TCollectOut out;
    out.SetInput(&in);
    out.Stop();
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data(), data);
}

TEST(Pipeline, FailureInsideStepEndsThroughThreadException)
{
    TFakeInput in(Stereo16, Bytes(100000), 100000);
    in.Hook = [](int Call) -> int {
        if (Call == 3)
            throw EACSException("disk on fire");
        return INT_MIN;
    };
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&in);

    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(watch.Failures.load(), 1);
    EXPECT_EQ(watch.Done.load(), 0);
    EXPECT_EQ(watch.Message, "disk on fire");
    EXPECT_NE(watch.FailureThread, std::this_thread::get_id());
    EXPECT_EQ(out.CloseCount.load(), 1);
    EXPECT_EQ(in.Closes.load(), 1);
    EXPECT_EQ(out.Status(), TACSOutputStatus::tosIdle);

    // A failed output can run again.
    in.Hook = nullptr;
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(watch.Done.load(), 1);
}

TEST(Pipeline, NonStandardExceptionInsideStepIsCaught)
{
    TFakeInput in(Stereo16, Bytes(1000), 1000);
    in.Hook = [](int) -> int { throw 42; };
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&in);
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(watch.Failures.load(), 1);
    EXPECT_EQ(watch.Done.load(), 0);
}

TEST(Pipeline, FailureInOpenOutputIsReportedOnCallingThread)
{
    TFakeInput in(Stereo16, Bytes(1000), 1000);
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.OpenHook = [] { throw EACSException("cannot open"); };
    out.SetInput(&in);

    EXPECT_NO_THROW(out.Run());
    EXPECT_EQ(watch.Failures.load(), 1);
    EXPECT_EQ(watch.FailureThread, std::this_thread::get_id());
    EXPECT_EQ(watch.Message, "cannot open");
    EXPECT_EQ(out.Status(), TACSOutputStatus::tosIdle);
    EXPECT_EQ(out.CloseCount.load(), 0); // nothing was opened, nothing to close
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(watch.Done.load(), 0);
    EXPECT_EQ(in.Reads.load(), 0); // the worker stayed parked
}

TEST(Pipeline, RunRefusals)
{
    TCollectOut out;
    try {
        out.Run();
        FAIL() << "Run without input must raise";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Input is not assigned");
    }

    std::atomic<bool> release{false};
    TFakeInput in(Stereo16, Bytes(3000), 3000);
    in.Hook = HoldUntil(release);
    out.SetInput(&in);
    out.Run();
    try {
        out.Run();
        FAIL() << "Run while busy must raise";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Component is buisy");
    }
    EXPECT_EQ(in.Opens.load(), 1); // the running chain was not touched
    release = true;
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data().size(), 3000u);
}

TEST(Pipeline, ProgressRounding)
{
    EXPECT_EQ(TCollectOut().Progress(), 0); // no input

    struct TCase {
        std::int64_t Size;
        int Read;
        int Expected;
    };
    // 1/200 = 0.5 % rounds to 0, 3/200 = 1.5 % to 2, 5/200 = 2.5 % to 2.
    const TCase cases[] = {{-1, 0, -1}, {0, 0, 0},       {200, 1, 0}, {200, 3, 2}, {200, 5, 2},
                           {200, 7, 4}, {200, 200, 100}, {3, 1, 33},  {3, 2, 67}};
    for (const TCase& c : cases) {
        TFakeInput in(Stereo16, Bytes(200), c.Size);
        TCollectOut out;
        out.SetInput(&in);
        in.OpenInput();
        std::vector<std::uint8_t> sink(256);
        if (c.Read > 0) {
            ASSERT_EQ(in.ReadBlock(sink.data(), c.Read), c.Read);
        }
        EXPECT_EQ(out.Progress(), c.Expected) << "size " << c.Size << " read " << c.Read;
        in.CloseInput();
    }
}

TEST(Pipeline, ProgressEventsReachHundred)
{
    const auto data = Bytes(50000);
    TFakeInput in(Stereo16, data, static_cast<std::int64_t>(data.size()));
    TCollectOut out;
    std::vector<int> seen;
    out.OnProgress = [&](TComponent* Sender) { seen.push_back(static_cast<TACSOutput*>(Sender)->Progress()); };
    out.SetInput(&in);
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(Pipeline, StepDelayRules)
{
    TCollectOut out;
    out.SetStepDelay(40);
    EXPECT_EQ(out.StepDelay(), 40);
    out.SetStepDelay(101); // ignored
    EXPECT_EQ(out.StepDelay(), 40);
    out.SetStepDelay(100);
    EXPECT_EQ(out.StepDelay(), 100);

    // A delay above 5 ms sleeps before every step: 5 steps take at least 5 delays.
    out.SetStepDelay(30);
    TFakeInput in(Stereo16, Bytes(4 * 1024), 4 * 1024);
    in.ChunkBytes = 1024;
    out.SetInput(&in);
    const auto start = std::chrono::steady_clock::now();
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
}

TEST(Pipeline, SwappingOutputInputWhileRunning)
{
    std::atomic<bool> release{false};
    TFakeInput first(Stereo16, Bytes(100, 1), -1);
    first.Hook = HoldUntil(release);
    const auto second = Bytes(6000, 9);
    TFakeInput next(Stereo16, second, static_cast<std::int64_t>(second.size()));
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&first);
    out.Run();
    std::this_thread::sleep_for(10ms);

    out.SetInput(&next);
    EXPECT_EQ(next.Opens.load(), 1);   // opened before the swap
    EXPECT_EQ(first.Closes.load(), 1); // closed after it
    EXPECT_EQ(out.Input(), &next);
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data(), second);
    EXPECT_EQ(watch.Done.load(), 1);
    EXPECT_EQ(next.Closes.load(), 1);
}

TEST(Pipeline, SwappingConverterInputWhileRunning)
{
    std::atomic<bool> release{false};
    TFakeInput first(Stereo16, Bytes(100, 1), -1);
    first.Hook = HoldUntil(release);
    const auto second = Bytes(6000, 3);
    TFakeInput next(Stereo16, second, static_cast<std::int64_t>(second.size()));
    TAudioProcessor processor;
    processor.SetInput(&first);
    TCollectOut out;
    out.SetInput(&processor);
    out.Run();
    std::this_thread::sleep_for(10ms);

    processor.SetInput(&next);
    EXPECT_EQ(first.Closes.load(), 1);
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(out.Data(), second);
    processor.SetInput(&processor); // a converter is never its own input
    EXPECT_EQ(processor.Input(), &next);
}

TEST(Pipeline, DestroyingRunningOutputCompletesDestination)
{
    std::atomic<bool> release{false};
    TFakeInput in(Stereo16, Bytes(100), -1);
    in.Hook = HoldUntil(release);
    TRunWatch watch;
    {
        TCollectOut out;
        watch.Attach(out);
        out.SetInput(&in);
        out.Run();
        std::this_thread::sleep_for(10ms);
        EXPECT_EQ(out.Status(), TACSOutputStatus::tosBusy);
    }
    EXPECT_EQ(in.Closes.load(), 1);
    EXPECT_EQ(watch.Done.load(), 0);
    EXPECT_EQ(watch.Failures.load(), 0);
}

TEST(Pipeline, DestroyingInputUnhooksItsUsers)
{
    TCollectOut out;
    TAudioProcessor processor;
    {
        TFakeInput in(Stereo16, Bytes(10), 10);
        out.SetInput(&in);
        processor.SetInput(&in);
    }
    EXPECT_EQ(out.Input(), nullptr);
    EXPECT_EQ(processor.Input(), nullptr);
}

TEST(Pipeline, ManyRunStopCycles)
{
    const auto data = Bytes(64 * 1024);
    TFakeInput in(Stereo16, data, static_cast<std::int64_t>(data.size()));
    in.ChunkBytes = 512;
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    std::atomic<int> progressEvents{0};
    out.OnProgress = [&](TComponent*) { ++progressEvents; };
    out.SetInput(&in);
    constexpr int Cycles = 300;
    for (int i = 0; i < Cycles; ++i) {
        out.Run();
        if (i % 3 != 0)
            out.Stop();
        if (i % 5 == 0)
            (void)out.Status();
        ASSERT_TRUE(out.WaitForIdle(5s)) << "cycle " << i;
    }
    EXPECT_EQ(watch.Done.load(), Cycles);
    EXPECT_EQ(watch.Failures.load(), 0);
    EXPECT_EQ(in.Opens.load(), Cycles);
    EXPECT_EQ(in.Closes.load(), Cycles);
    EXPECT_GT(progressEvents.load(), 0);
}

TEST(AudioProcessor, EveryOperationNeedsInput)
{
    TAudioProcessor p;
    std::uint8_t buffer[4];
    const std::function<void()> operations[] = {
        [&] { p.InSampleRate(); },       [&] { p.InBitsPerSample(); }, [&] { p.InChannels(); },
        [&] { p.TotalTime(); },          [&] { p.OpenInput(); },       [&] { p.CloseInput(); },
        [&] { p.ReadBlock(buffer, 4); },
    };
    for (const auto& op : operations) {
        try {
            op();
            ADD_FAILURE() << "no exception";
        } catch (const EACSException& e) {
            EXPECT_STREQ(e.what(), "Input is not assigned.");
        }
    }
}

TEST(AudioProcessor, HandlersReplaceInputOperations)
{
    TFakeInput in(Stereo16, Bytes(1000), 1000);
    TAudioProcessor p;
    p.SetInput(&in);
    p.OnGetSampleRate = [](TComponent*, int& v) { v = 22050; };
    EXPECT_EQ(p.InSampleRate(), 22050);
    EXPECT_EQ(p.InChannels(), 2); // no handler: the input answers

    bool sizeAsked = false;
    bool initCalled = false;
    p.OnGetSize = [&](TComponent*, int& v) {
        sizeAsked = true;
        v = 1;
    };
    p.OnInit = [&](TComponent*, std::int64_t&) {
        initCalled = true;
        in.OpenInput();
    };
    p.OpenInput();
    EXPECT_TRUE(initCalled);
    EXPECT_FALSE(sizeAsked); // OnInit replaces opening and taking the size
    EXPECT_TRUE(p.Busy());

    // A handler that withholds data leaves the position alone.
    int call = 0;
    p.OnGetData = [&](TComponent*, void* Data, int& n) { n = (call++ == 0) ? -1 : in.ReadBlock(Data, n); };
    std::uint8_t buffer[100];
    EXPECT_EQ(p.ReadBlock(buffer, 100), -1);
    EXPECT_EQ(p.Position(), 0);
    EXPECT_EQ(p.ReadBlock(buffer, 100), 100);
    EXPECT_EQ(p.Position(), 100);
    p.CloseInput();
    EXPECT_EQ(in.Closes.load(), 1);
}

TEST(AudioProcessor, HandlerReturningZeroEndsRunNormally)
{
    TFakeInput in(Stereo16, Bytes(100000), 100000);
    TAudioProcessor p;
    p.SetInput(&in);
    int blocks = 0;
    p.OnGetData = [&](TComponent*, void* Data, int& n) { n = (++blocks > 3) ? 0 : in.ReadBlock(Data, n); };
    TCollectOut out;
    TRunWatch watch;
    watch.Attach(out);
    out.SetInput(&p);
    out.Run();
    ASSERT_TRUE(out.WaitForIdle(5s));
    EXPECT_EQ(watch.Done.load(), 1);
    EXPECT_EQ(p.Position(), static_cast<std::int64_t>(out.Data().size()));
}

TEST(NullOut, PullsToEndAndEndsOnAnyResultBelowOne)
{
    for (int ending : {0, -1}) {
        TFakeInput in(Stereo16, Bytes(50000), 50000);
        in.Hook = [ending](int Call) { return Call == 5 ? ending : INT_MIN; };
        TAudioProcessor p;
        p.SetInput(&in);
        std::atomic<std::int64_t> seen{0};
        p.OnGetData = [&](TComponent*, void* Data, int& n) {
            n = in.ReadBlock(Data, n);
            if (n > 0)
                seen += n;
        };
        TNULLOut out;
        TRunWatch watch;
        watch.Attach(out);
        out.SetInput(&p);
        out.Run();
        ASSERT_TRUE(out.WaitForIdle(5s));
        EXPECT_EQ(watch.Done.load(), 1);
        EXPECT_EQ(seen.load(), 5 * 4096) << "ending " << ending;
        EXPECT_EQ(in.Closes.load(), 1);
    }
}
