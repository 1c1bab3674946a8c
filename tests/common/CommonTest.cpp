#include "common/PathNames.h"
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

// A name from outside stays one name in its folder, with its letters in any
// script; only what the file system cannot hold (or shows as control codes)
// is replaced.
TEST(PathNames, NamesKeepLettersOfEveryScript)
{
    struct TCase {
        std::string Text, Name;
    };
    const TCase cases[] = {
        {"Bj\xC3\xB6rk - J\xC3\xB3ga", "Bj\xC3\xB6rk - J\xC3\xB3ga"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {"\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE"},
        {"\xD8\xB9\xD9\x85\xD8\xB1\xD9\x88 & \xCE\x94\xCE\xB9\xCE\xB1\xCE\xBA", "\xD8\xB9\xD9\x85\xD8\xB1\xD9\x88 & "
                                                                                "\xCE\x94\xCE\xB9\xCE\xB1\xCE\xBA"},
        {"Don't Stop. (Live?) 100% *", "Don't Stop. (Live?) 100% *"},
        {"AC/DC", "AC_DC"},
        {"a\tb\nc\rd\x7F"
         "e",
         "a_b_c_d_e"},
        {std::string("a\0b", 3), "a_b"},
        {"x\xC2\x85y", "x_y"}, // a C1 control (NEL)
        {"..", "_.."},
        {".", "_."},
        {"", "_"},
        {"../../etc", ".._.._etc"},
        {"...", "..."},
    };
    // 100 letters of 3 bytes: cut to 80 whole letters (240 bytes).
    std::string japanese;
    for (int i = 0; i < 100; ++i)
        japanese += "\xE6\x97\xA5";
    const std::string cut = CleanPathComponent(japanese);
    EXPECT_EQ(cut, japanese.substr(0, 240));
    EXPECT_EQ(CleanPathComponent("a" + japanese), "a" + japanese.substr(0, 237));
    for (const TCase& c : cases) {
        EXPECT_EQ(CleanPathComponent(c.Text), c.Name) << c.Text;
        EXPECT_EQ(std::filesystem::path("/music" / std::filesystem::path(CleanPathComponent(c.Text))).parent_path(),
                  "/music");
    }
}

TEST(PathNames, TitleFromFileNameReadsOldEscapedNames)
{
    struct TCase {
        std::string File, Title;
    };
    const TCase cases[] = {
        {"/m/Bj%C3%B6rk - J%C3%B3ga.MP3", "Bj\xC3\xB6rk - J\xC3\xB3ga"},
        {"AC%2FDC - Don%27t Stop%2E.WAV", "AC/DC - Don't Stop."},
        {"Caf%E9.WAV", "Caf\xC3\xA9"}, // escaped from a Latin-1 name
        {"Bj\xC3\xB6rk - J\xC3\xB3ga.MP3", "Bj\xC3\xB6rk - J\xC3\xB3ga"},
        {"100% Pure.mp3", "100% Pure"},
        {"50%2x.mp3", "50%2x"},
        {"Rock%20Song.mp3", "Rock%20Song"}, // the old escaping kept spaces: not one of its names
        {"Track3.WAV", "Track3"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TitleFromFileName(c.File), c.Title) << c.File;
}

// Text from cue sheets, CD-TEXT and CDDB: UTF-8 when the bytes are UTF-8,
// the Windows Latin-1 code page otherwise.
TEST(PathNames, OutsideTextIsUtf8OrLatin1)
{
    struct TCase {
        std::string Bytes, Text;
        bool Utf8;
    };
    const TCase cases[] = {
        {"plain ASCII", "plain ASCII", true},
        {"J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5",
         "J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5", true},
        {"J\xF3ga", "J\xC3\xB3ga", false}, // Latin-1
        {"\x93Qu\xE9\x94 \x80", "\xE2\x80\x9CQu\xC3\xA9\xE2\x80\x9D \xE2\x82\xAC",
         false},                                                                 // the code page's quotes, euro
        {"\xC3", "\xC3\x83", false},                                             // cut off inside a character
        {"\xC0\xAF", "\xC3\x80\xC2\xAF", false},                                 // overlong "/"
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC", false},                 // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC", false}, // past U+10FFFF
        {"", "", true},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.Bytes), c.Utf8) << c.Bytes;
        EXPECT_EQ(Utf8FromOutside(c.Bytes), c.Text) << c.Bytes;
        EXPECT_TRUE(IsValidUtf8(Utf8FromOutside(c.Bytes)));
    }
}
