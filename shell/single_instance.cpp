#include "shell/single_instance.h"

#include "platform/user_interface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace pictorand {

namespace {

constexpr char kCloseRequest[] = "close\n";

QString userName()
{
    // Asked several times at start-up; the user database is read once.
    static const QString name = [] {
        if (const passwd* entry = getpwuid(getuid()))
            return QString::fromLocal8Bit(entry->pw_name);
        return QString::number(getuid());
    }();
    return name;
}

// The socket address of a path; false when the path is too long for one.
bool socketAddress(const QString& path, sockaddr_un& address)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    return true;
}

int connectTo(const QString& path)
{
    sockaddr_un address;
    if (!socketAddress(path, address))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits until the other end closes the connection (or the time is up).
void waitForHangUp(int fd, int timeoutMs)
{
    char buffer[64];
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return;
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return;
    }
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
    // Anything but letters, digits, '_', '.' and '-' becomes '_' (a plain
    // loop: a regular expression would be compiled at every start).
    QString user = userName();
    for (QChar& c : user) {
        const char16_t u = c.unicode();
        const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_'
                          || u == '.' || u == '-';
        if (!kept)
            c = QLatin1Char('_');
    }
    return QString(kProgramCaption) + "-" + user + "-";
}

int SingleInstance::closeOthers(int timeoutMs)
{
    const QDir directory(socketDirectory());
    const QString own = socketPrefix() + QString::number(QCoreApplication::applicationPid());
    int asked = 0;
    const QStringList names = directory.entryList({socketPrefix() + "*"}, QDir::System | QDir::Files);
    for (const QString& name : names) {
        if (name == own)
            continue;
        const QString path = directory.filePath(name);
        int fd = connectTo(path);
        if (fd < 0) {
            // A viewer that died without closing leaves its socket behind.
            QFile::remove(path);
            continue;
        }
        if (::write(fd, kCloseRequest, sizeof kCloseRequest - 1) > 0) {
            waitForHangUp(fd, timeoutMs);
            ++asked;
        }
        ::close(fd);
    }
    return asked;
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_listener >= 0) {
        ::close(m_listener);
        QFile::remove(m_path);
    }
}

bool SingleInstance::listen()
{
    m_path = QDir(socketDirectory()).filePath(socketPrefix() + QString::number(QCoreApplication::applicationPid()));
    sockaddr_un address;
    if (!socketAddress(m_path, address))
        return false;
    // A socket of our own process id can only be a dead viewer's.
    QFile::remove(m_path);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0)
        return false;
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 8) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return false;
    }
    ::chmod(address.sun_path, 0600);
    m_notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptConnection);
    return true;
}

void SingleInstance::acceptConnection()
{
    for (;;) {
        int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            return;
        auto* notifier = new QSocketNotifier(client, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this,
                [this, client, notifier] { readRequest(client, notifier); });
    }
}

void SingleInstance::readRequest(int client, QSocketNotifier* notifier)
{
    char buffer[64];
    ssize_t got = ::read(client, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    const bool close = got > 0 && QByteArray(buffer, static_cast<qsizetype>(got)).contains("close");
    notifier->setEnabled(false);
    notifier->deleteLater();
    if (close && closeRequested)
        closeRequested();
    ::close(client);
}

} // namespace pictorand
