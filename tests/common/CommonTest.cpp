#include "common/Rounding.h"
#include "common/TPlainDialogs.h"
#include "common/TPlainDispatcher.h"
#include "common/TXdgDesktop.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace kestrune;
using namespace std::chrono_literals;

TEST(Rounding, HalvesGoToEven)
{
    struct TCase {
        std::int64_t N, D, Expected;
    };
    const TCase cases[] = {{1, 2, 0}, {3, 2, 2}, {5, 2, 2}, {7, 2, 4}, {4, 3, 1}, {5, 3, 2}, {0, 7, 0}};
    for (const TCase& c : cases)
        EXPECT_EQ(DivRoundHalfEven(c.N, c.D), c.Expected) << c.N << "/" << c.D;
    // Byte counts far beyond 32 bits do not overflow the percentage.
    EXPECT_EQ(PercentHalfEven(std::int64_t{1} << 61, std::int64_t{1} << 62), 50);
}

TEST(PlainDispatcher, SendFromWorkerRunsOnWindowThreadAndWaits)
{
    TPlainDispatcher dispatcher;
    const auto windowThread = std::this_thread::get_id();
    std::atomic<bool> ranOnWindowThread{false};
    std::atomic<bool> workerDone{false};
    std::atomic<int> posted{0};

    std::thread worker([&] {
        dispatcher.Post(TLifetimeToken::Unowned(), [&] { ++posted; });
        dispatcher.Send(TLifetimeToken::Unowned(),
                        [&] { ranOnWindowThread = std::this_thread::get_id() == windowThread; });
        workerDone = true;
    });
    EXPECT_TRUE(dispatcher.WaitServing([&] { return workerDone.load(); }, 5s));
    worker.join();
    EXPECT_TRUE(ranOnWindowThread.load());
    EXPECT_EQ(posted.load(), 1);

    // From the window thread itself Send runs at once.
    bool inline_ran = false;
    dispatcher.Send(TLifetimeToken::Unowned(), [&] { inline_ran = true; });
    EXPECT_TRUE(inline_ran);
    EXPECT_FALSE(dispatcher.WaitServing([] { return false; }, 20ms));
}

TEST(PlainDispatcher, WorkOfAGoneOwnerIsDropped)
{
    TPlainDispatcher dispatcher;
    int ran = 0;
    auto owner = std::make_unique<TLifetime>();
    const TLifetimeToken token = owner->Token();
    dispatcher.Post(token, [&] { ++ran; });
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        // Posted before the owner ends, run after: dropped. The sender is
        // released all the same.
        dispatcher.Send(token, [&] { ++ran; });
        sent = true;
    });
    owner.reset(); // nothing was served yet: both items are still queued

    EXPECT_TRUE(dispatcher.WaitServing([&] { return sent.load(); }, 5s));
    worker.join();
    EXPECT_EQ(ran, 0);
    dispatcher.Send(token, [&] { ++ran; }); // on the window thread: also dropped
    EXPECT_EQ(ran, 0);
}

TEST(PlainDispatcher, SendPassesFailureBackToSender)
{
    TPlainDispatcher dispatcher;
    std::atomic<bool> caught{false};
    std::thread worker([&] {
        try {
            dispatcher.Send(TLifetimeToken::Unowned(), [] { throw std::runtime_error("no"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        dispatcher.Quit();
    });
    dispatcher.Exec();
    worker.join();
    EXPECT_TRUE(caught.load());
}

TEST(PlainDialogs, ScriptedAnswersThenDefault)
{
    std::ostringstream echo;
    TPlainDialogs dialogs(&echo, false);
    dialogs.Script(TDialogResult::drYes);
    EXPECT_TRUE(dialogs.Confirm("Play it?", TDialogButtons::dbYesNo));
    EXPECT_FALSE(dialogs.Confirm("Again?", TDialogButtons::dbYesNo));
    dialogs.Warning("Careful");
    ASSERT_EQ(dialogs.Shown().size(), 3u);
    EXPECT_EQ(dialogs.Shown()[2].Kind, TDialogKind::dkWarning);
    EXPECT_EQ(dialogs.Shown()[1].Answer, TDialogResult::drNo);
    EXPECT_NE(echo.str().find("warning: Careful"), std::string::npos);
}

TEST(XdgDesktop, HandsTheNameOverAsOneArgumentWithoutAShell)
{
    test::TTempDir dir;
    const std::string opener = dir.File("opener");
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$(dirname \"$0\")/got.$$\"\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    TXdgDesktop desktop(opener);

    const std::string names[] = {dir.File("Mr. Blue Sky; $(touch pwned) `touch pwned`.mp3"), "-n.mp3"};
    const std::string expected[] = {"1|" + names[0], "1|./-n.mp3"};
    for (size_t i = 0; i < 2; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path().filename().string().rfind("got.", 0) == 0)
                std::filesystem::remove(entry.path());
        ASSERT_TRUE(desktop.Open(names[i]));
        std::string got;
        for (int wait = 0; wait < 500 && got.empty(); ++wait) {
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
                if (entry.path().filename().string().rfind("got.", 0) == 0)
                    got = std::string(std::istreambuf_iterator<char>(std::ifstream(entry.path()).rdbuf()), {});
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(got, expected[i]);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(TXdgDesktop(dir.File("no-such-opener")).Open("a.mp3"));
}
