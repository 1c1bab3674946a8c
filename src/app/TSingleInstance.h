#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QLocalServer;

namespace kestrune {

// One desktop program per user and settings file: a second start asks the
// first to bring its window to the front and ends, so two recordings never
// share an album folder by accident. The instances meet at a local socket
// named after the user and the settings file.
//
// Threads: window thread.
class TSingleInstance final : public QObject {
public:
    // The socket's name for IniFile (made absolute) and the current user.
    static QString ServerName(const std::string& IniFile);

    explicit TSingleInstance(QString Name, QObject* Parent = nullptr);
    ~TSingleInstance() override;
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // True when a running instance answered within TimeoutMs and was asked to
    // raise its window; then this start should end.
    bool AskRunning(int TimeoutMs = 2000);
    // Becomes the instance later starts find: OnRaise runs for each of them.
    // False when the name could not be taken.
    bool Listen(std::function<void()> OnRaise);

private:
    void Serve();

    QString FName;
    QLocalServer* Server = nullptr;
    std::function<void()> FRaise;
};

} // namespace kestrune
