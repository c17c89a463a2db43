#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

namespace {

constexpr char ShowRequest[] = "show\n";
constexpr char ShownAnswer[] = "shown\n";

// Socket names are limited to about 100 bytes, so the folder enters as a digest.
QString socketName(const QString& dataFolder, const QString& runtimeFolder) {
    const QString folder = QDir(dataFolder).absolutePath();
    const QByteArray digest =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString leaf =
        QStringLiteral("velnora-manager-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
    return runtimeFolder.isEmpty() ? leaf : runtimeFolder + '/' + leaf;
}

} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, const QString& runtimeFolder, QObject* parent)
    : QObject(parent), serverName_(socketName(dataFolder, runtimeFolder)),
      lockFileName_(dataFolder + QStringLiteral("/VELNORA_Manager.lock")),
      lock_(std::make_unique<QLockFile>(lockFileName_)) {
    // Never stale by age: the running console may run for months. A lock whose
    // process is gone is still taken over (Qt checks the process it names, and
    // on Linux a lock that a live process holds cannot be removed).
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    lock_->unlock();
}

SingleInstance::Role SingleInstance::claim(int timeoutMs, QString* error) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (lock_->tryLock(0)) {
            listen(error);
            return Role::First;
        }
        if (lock_->error() != QLockFile::LockFailedError) {
            // An unwritable data folder: the console starts as before and its
            // log will say what is wrong with the folder.
            if (error) *error = QStringLiteral("cannot create the lock file %1").arg(lockFileName_);
            return Role::First;
        }
        // Another console holds the lock; it may still be on its way to listening.
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        const auto left = [&] { return std::max<qint64>(0, timeoutMs - clock.elapsed()); };
        if (socket.waitForConnected(static_cast<int>(left()))) {
            socket.write(ShowRequest);
            socket.waitForBytesWritten(static_cast<int>(left()));
            QByteArray reply;
            while (!reply.contains('\n') && socket.waitForReadyRead(static_cast<int>(left())))
                reply += socket.readAll();
            reply += socket.readAll();
            if (reply == ShownAnswer) return Role::HandedOver;
        }
        if (clock.elapsed() >= timeoutMs) return Role::Unanswered;
        // The holder has the lock but not yet its socket, or it is ending: ask again shortly.
        QThread::msleep(50);
    }
}

bool SingleInstance::listen(QString* error) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a console that died; ours now, since we hold the lock.
    QLocalServer::removeServer(serverName_);
    if (!server_->listen(serverName_)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(serverName_, server_->errorString());
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            if (socket->bytesAvailable() > 0) answer(socket);
        }
    });
    return true;
}

void SingleInstance::answer(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        // Anything but a short request line is not one of ours.
        if (socket->bytesAvailable() > 64) socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(64);
    if (line != ShowRequest) {
        socket->abort();
        return;
    }
    if (OnShowRequest) OnShowRequest();
    socket->write(ShownAnswer);
    socket->flush();
    socket->disconnectFromServer();
}
