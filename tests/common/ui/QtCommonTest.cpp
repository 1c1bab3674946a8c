// The desktop program's window thread and message boxes, on a real Qt event
// loop (offscreen).
#include "common/ui/TQtDialogs.h"
#include "common/ui/TQtDispatcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace kestrune;

class QtCommonTest : public QObject {
    Q_OBJECT
private slots:
    // Work posted from a worker runs on the GUI thread, in order; work for an
    // owner that died before its turn is dropped.
    void PostedWorkRunsOnTheGuiThreadOnlyForLiveOwners()
    {
        TQtDispatcher dispatcher;
        auto owner = std::make_unique<TLifetime>();
        const TLifetimeToken token = owner->Token();
        std::vector<int> order;
        bool offThread = false;
        std::thread worker([&] {
            for (int i = 0; i < 3; ++i)
                dispatcher.Post(token, [&, i] {
                    offThread |= !dispatcher.IsWindowThread();
                    order.push_back(i);
                });
        });
        worker.join();
        QVERIFY(dispatcher.WaitServing([&] { return order.size() == 3; }, std::chrono::seconds(5)));
        QCOMPARE(order, (std::vector<int>{0, 1, 2}));
        QVERIFY(!offThread);

        bool ran = false;
        dispatcher.Post(token, [&] { ran = true; });
        owner.reset();
        QCoreApplication::processEvents();
        QVERIFY(!ran);
    }

    // A worker's Send returns after the GUI thread ran the work, with its
    // exception; from the GUI thread it runs at once; a dead owner's work is
    // skipped but the sender is still released.
    void SendWaitsForTheGuiThreadAndCarriesExceptions()
    {
        TQtDispatcher dispatcher;
        TLifetime owner;
        bool sawWindowThread = false;
        std::atomic<bool> caught{false};
        std::atomic<bool> finished{false};
        std::thread worker([&] {
            dispatcher.Send(owner.Token(), [&] { sawWindowThread = dispatcher.IsWindowThread(); });
            try {
                dispatcher.Send(owner.Token(), [] { throw std::runtime_error("disk full"); });
            } catch (const std::runtime_error& e) {
                caught = std::string(e.what()) == "disk full";
            }
            finished = true;
        });
        QVERIFY(dispatcher.WaitServing([&] { return finished.load(); }, std::chrono::seconds(5)));
        worker.join();
        QVERIFY(sawWindowThread);
        QVERIFY(caught);

        bool direct = false;
        dispatcher.Send(owner.Token(), [&] { direct = true; });
        QVERIFY(direct);

        auto gone = std::make_unique<TLifetime>();
        const TLifetimeToken goneToken = gone->Token();
        gone.reset();
        std::atomic<bool> released{false};
        bool ranForDead = false;
        std::thread late([&] {
            dispatcher.Send(goneToken, [&] { ranForDead = true; });
            released = true;
        });
        QVERIFY(dispatcher.WaitServing([&] { return released.load(); }, std::chrono::seconds(5)));
        late.join();
        QVERIFY(!ranForDead);
    }

    // Posted work that throws reaches the handler instead of the event loop,
    // and the wait gives up at its timeout when nothing comes.
    void UnhandledErrorsAndTimeouts()
    {
        TQtDispatcher dispatcher;
        std::string reported;
        dispatcher.OnUnhandled = [&](const std::string& Message) { reported = Message; };
        dispatcher.Post(TLifetimeToken::Unowned(), [] { throw std::runtime_error("tag failed"); });
        QVERIFY(dispatcher.WaitServing([&] { return !reported.empty(); }, std::chrono::seconds(5)));
        QCOMPARE(reported, std::string("tag failed"));

        const auto start = std::chrono::steady_clock::now();
        QVERIFY(!dispatcher.WaitServing([] { return false; }, std::chrono::milliseconds(100)));
        QVERIFY(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(100));
    }

    // Each kind of box has its caption, icon and buttons; the user's button
    // is the answer, and closing a question without one means no.
    void MessageBoxesShowTheKindAndReturnTheButton()
    {
        struct TCase {
            TDialogKind Kind;
            TDialogButtons Buttons;
            QMessageBox::StandardButton Press; // NoButton: Escape
            QString Caption;
            QMessageBox::Icon Icon;
            TDialogResult Expected;
        };
        const TCase cases[] = {
            {TDialogKind::dkWarning, TDialogButtons::dbOK, QMessageBox::Ok, "Warning", QMessageBox::Warning,
             TDialogResult::drOK},
            {TDialogKind::dkError, TDialogButtons::dbOK, QMessageBox::Ok, "Error", QMessageBox::Critical,
             TDialogResult::drOK},
            {TDialogKind::dkInformation, TDialogButtons::dbOK, QMessageBox::Ok, "Information",
             QMessageBox::Information, TDialogResult::drOK},
            {TDialogKind::dkConfirmation, TDialogButtons::dbYesNo, QMessageBox::No, "Confirm", QMessageBox::Question,
             TDialogResult::drNo},
            {TDialogKind::dkConfirmation, TDialogButtons::dbYesNo, QMessageBox::Yes, "Confirm",
             QMessageBox::Question, TDialogResult::drYes},
            {TDialogKind::dkConfirmation, TDialogButtons::dbOKCancel, QMessageBox::Cancel, "Confirm",
             QMessageBox::Question, TDialogResult::drCancel},
            {TDialogKind::dkConfirmation, TDialogButtons::dbYesNo, QMessageBox::NoButton, "Confirm",
             QMessageBox::Question, TDialogResult::drNo},
        };
        for (const TCase& c : cases) {
            TQtDialogs dialogs;
            QString caption, text;
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box != nullptr);
                caption = box->windowTitle();
                text = box->text();
                icon = box->icon();
                if (c.Press == QMessageBox::NoButton)
                    QTest::keyClick(box, Qt::Key_Escape);
                else
                    box->button(c.Press)->click();
            });
            const TDialogResult answer = dialogs.Show(c.Kind, "Please enter an Album Name.", c.Buttons);
            QCOMPARE(caption, c.Caption);
            QCOMPARE(text, QString("Please enter an Album Name."));
            QCOMPARE(icon, c.Icon);
            QCOMPARE(answer, c.Expected);
        }
    }
};

QTEST_MAIN(QtCommonTest)
#include "QtCommonTest.moc"
