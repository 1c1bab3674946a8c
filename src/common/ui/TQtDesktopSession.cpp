#include "common/ui/TQtDesktopSession.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace kestrune {

namespace {

const QString ScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString ScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString ApplicationName = QStringLiteral("Kestrune");
// The program's icon and desktop entry, as installed.
const QString DesktopEntry = QStringLiteral("kestrune");

std::optional<std::uint32_t> UintAnswer(const QDBusMessage& Reply)
{
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const uint value = Reply.arguments().constFirst().toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

TQtDesktopSession::TQtDesktopSession() : Calls(std::make_unique<QObject>()) {}

TQtDesktopSession::TQtDesktopSession(const QDBusConnection& B) : FBus(B), Calls(std::make_unique<QObject>()) {}

QDBusConnection& TQtDesktopSession::Bus()
{
    if (!FBus)
        FBus = QDBusConnection::sessionBus();
    return *FBus;
}

TQtDesktopSession::~TQtDesktopSession()
{
    Release();
    // The watchers go with their owner: answers still under way are dropped.
    // An inhibitor whose cookie had not arrived yet ends with our connection
    // to the bus, as the service drops the inhibitors of a client that left.
    Calls.reset();
}

void TQtDesktopSession::Call(const QDBusMessage& Message, std::function<void(const QDBusMessage& Reply)> Done)
{
    if (!Bus().isConnected())
        return;
    auto* watcher = new QDBusPendingCallWatcher(Bus().asyncCall(Message), Calls.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, Calls.get(),
                     [Done = std::move(Done)](QDBusPendingCallWatcher* W) {
                         W->deleteLater();
                         Done(W->reply());
                     });
}

void TQtDesktopSession::Inhibit(const std::string& Reason)
{
    if (Held)
        return;
    Held = true;
    // A cookie still on its way from an earlier Inhibit is kept when it
    // arrives, as we want one again.
    if (!InhibitUnderWay)
        SendInhibit(QString::fromStdString(Reason));
}

void TQtDesktopSession::SendInhibit(const QString& Reason)
{
    QDBusMessage message = QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath, ScreenSaverService,
                                                          QStringLiteral("Inhibit"));
    message << ApplicationName << Reason;
    InhibitUnderWay = true;
    Call(message, [this](const QDBusMessage& Reply) { InhibitAnswered(UintAnswer(Reply)); });
}

void TQtDesktopSession::InhibitAnswered(std::optional<std::uint32_t> Answer)
{
    InhibitUnderWay = false;
    if (!Answer)
        return;
    if (Held)
        Cookie = Answer;
    else
        SendUnInhibit(*Answer); // released while the answer was on its way
}

void TQtDesktopSession::SendUnInhibit(std::uint32_t Value)
{
    QDBusMessage message = QDBusMessage::createMethodCall(ScreenSaverService, ScreenSaverPath, ScreenSaverService,
                                                          QStringLiteral("UnInhibit"));
    message << Value;
    // Nothing to do with the answer; an error means the service is gone and
    // took our inhibitor with it.
    if (Bus().isConnected())
        Bus().send(message);
}

void TQtDesktopSession::Release()
{
    if (!Held)
        return;
    Held = false;
    if (Cookie) {
        SendUnInhibit(*Cookie);
        Cookie.reset();
    }
}

void TQtDesktopSession::Notify(std::uint64_t Key, const std::string& Summary, const std::string& Body)
{
    TNote& note = Notes[Key];
    note.Summary = QString::fromStdString(Summary);
    note.Body = QString::fromStdString(Body);
    // Until the server has named the earlier note, a second would stand
    // beside it instead of replacing it: the texts wait for that answer.
    if (note.UnderWay) {
        note.Waiting = true;
        return;
    }
    SendNotify(Key);
}

void TQtDesktopSession::SendNotify(std::uint64_t Key)
{
    TNote& note = Notes[Key];
    QDBusMessage message = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath, NotificationsService,
                                                          QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), DesktopEntry);
    message << ApplicationName << note.Id << DesktopEntry << note.Summary << note.Body << QStringList() << hints
            << qint32(-1);
    note.UnderWay = true;
    note.Waiting = false;
    Call(message, [this, Key](const QDBusMessage& Reply) {
        TNote& answered = Notes[Key];
        answered.UnderWay = false;
        if (const auto id = UintAnswer(Reply))
            answered.Id = *id;
        if (answered.Waiting)
            SendNotify(Key);
    });
}

} // namespace kestrune
