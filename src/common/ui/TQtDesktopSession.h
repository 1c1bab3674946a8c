#pragma once

#include "common/IDesktopSession.h"

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QDBusMessage;
class QObject;

namespace kestrune {

// The desktop session over D-Bus: the idle inhibitor
// (org.freedesktop.ScreenSaver Inhibit / UnInhibit) and the notification
// server (org.freedesktop.Notifications Notify), both on the session bus.
// Every call is sent without waiting; the answers (the inhibitor's cookie,
// a notification's id) arrive later on the thread that owns the object, the
// window thread. A desktop without either service shows nothing, and nothing
// is said about it.
class TQtDesktopSession final : public IDesktopSession {
public:
    // On the user's session bus.
    TQtDesktopSession();
    // On the given bus (a private one, in tests).
    explicit TQtDesktopSession(const QDBusConnection& Bus);
    // Lets go of an inhibitor still held; replies still under way are dropped.
    ~TQtDesktopSession() override;
    TQtDesktopSession(const TQtDesktopSession&) = delete;
    TQtDesktopSession& operator=(const TQtDesktopSession&) = delete;

    void Inhibit(const std::string& Reason) override;
    void Release() override;
    bool Inhibited() const override { return Held; }
    void Notify(std::uint64_t Key, const std::string& Summary, const std::string& Body) override;

private:
    void SendInhibit(const QString& Reason);
    void InhibitAnswered(std::optional<std::uint32_t> Cookie);
    void SendUnInhibit(std::uint32_t Cookie);
    void SendNotify(std::uint64_t Key);
    // Sends Message and hands its answer (or the error) to Done later.
    void Call(const QDBusMessage& Message, std::function<void(const QDBusMessage& Reply)> Done);

    // The session bus is reached at the first call, not at start-up: with no
    // bus running, reaching it starts a helper process and waits for it.
    QDBusConnection& Bus();
    std::optional<QDBusConnection> FBus;
    // Owns the watchers of the calls under way; gone first, so no answer
    // reaches a half-destroyed object.
    std::unique_ptr<QObject> Calls;
    bool Held = false;
    bool InhibitUnderWay = false;
    std::optional<std::uint32_t> Cookie;
    // Per key: the id the server gave its notification (0: none yet), and
    // the texts to show once the answer to the call under way is in.
    struct TNote {
        std::uint32_t Id = 0;
        bool UnderWay = false;
        bool Waiting = false;
        QString Summary;
        QString Body;
    };
    std::map<std::uint64_t, TNote> Notes;
};

} // namespace kestrune
