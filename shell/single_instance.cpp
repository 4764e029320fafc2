#include "shell/single_instance.h"

#include "platform/user_interface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QRegularExpression>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictorand {

namespace {

constexpr char kCloseRequest[] = "close\n";

QString userName()
{
    if (const passwd* entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(getuid());
}

} // namespace

QString SingleInstance::socketDirectory()
{
    QString directory = qEnvironmentVariable("PICTORAND_RUNTIME_DIR");
    if (directory.isEmpty()) {
        QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        directory = runtime.isEmpty() ? QDir::tempPath() + "/pictorand32-" + userName() : runtime + "/pictorand32";
    }
    QDir().mkpath(directory);
    ::chmod(QFile::encodeName(directory).constData(), 0700);
    return directory;
}

QString SingleInstance::socketPrefix()
{
    QString user = userName();
    user.replace(QRegularExpression("[^A-Za-z0-9_.-]"), "_");
    return QString(kProgramCaption) + "-" + user + "-";
}

int SingleInstance::closeOthers(int timeoutMs)
{
    const QDir directory(socketDirectory());
    const QString own = socketPrefix() + QString::number(QCoreApplication::applicationPid());
    int closed = 0;
    const QStringList names = directory.entryList({socketPrefix() + "*"}, QDir::System | QDir::Files);
    for (const QString& name : names) {
        if (name == own)
            continue;
        const QString path = directory.filePath(name);
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(1000)) {
            // A viewer that died without closing leaves its socket behind.
            QLocalServer::removeServer(path);
            continue;
        }
        socket.write(kCloseRequest);
        socket.waitForBytesWritten(1000);
        // The other viewer closes the connection once its position is written.
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(timeoutMs);
        ++closed;
    }
    return closed;
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

bool SingleInstance::listen()
{
    const QString path = QDir(socketDirectory()).filePath(socketPrefix() +
                                                          QString::number(QCoreApplication::applicationPid()));
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(path))
        return true;
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains("close"))
                return;
            if (closeRequested)
                closeRequested();
            socket->disconnectFromServer();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

} // namespace pictorand
