#include "app/TSingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace kestrune {

namespace {

const QByteArray RaiseRequest = "raise\n";
const QByteArray RaiseAnswer = "raised\n";

} // namespace

QString TSingleInstance::ServerName(const std::string& IniFile)
{
    const QString path = QFileInfo(QString::fromStdString(IniFile)).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("kestrune-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

TSingleInstance::TSingleInstance(QString Name, QObject* Parent) : QObject(Parent), FName(std::move(Name)) {}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::AskRunning(int TimeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(FName);
    if (!socket.waitForConnected(TimeoutMs))
        return false;
    socket.write(RaiseRequest);
    if (!socket.waitForBytesWritten(TimeoutMs))
        return false;
    // A program that hangs does not answer: then this one starts after all.
    QElapsedTimer clock;
    clock.start();
    QByteArray answer;
    while (!answer.contains('\n') && clock.elapsed() < TimeoutMs) {
        if (!socket.waitForReadyRead(static_cast<int>(TimeoutMs - clock.elapsed())))
            break;
        answer += socket.readAll();
    }
    return answer == RaiseAnswer;
}

bool TSingleInstance::Listen(std::function<void()> OnRaise)
{
    FRaise = std::move(OnRaise);
    Server = new QLocalServer(this);
    // Only this user may ask.
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(Server, &QLocalServer::newConnection, this, [this] { Serve(); });
    if (Server->listen(FName))
        return true;
    // A socket left by a program that ended without closing it: nobody
    // answered AskRunning, so it is taken over.
    QLocalServer::removeServer(FName);
    return Server->listen(FName);
}

void TSingleInstance::Serve()
{
    while (QLocalSocket* socket = Server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == RaiseRequest) {
                if (FRaise)
                    FRaise();
                socket->write(RaiseAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace kestrune
