#pragma once
// One viewer at a time: each running viewer listens on a local socket in a
// per-user folder, named from the program caption, the user and its process
// id. A starting viewer that is asked to be the only one connects to every
// socket there and asks each viewer to close; each writes its window
// position and quits, and closes the connection when it is gone.

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

namespace pictorand {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The folder of the sockets: $PICTORAND_RUNTIME_DIR, else
    // $XDG_RUNTIME_DIR/pictorand32, else <temp>/pictorand32-<user>.
    static QString socketDirectory();
    // "Pictorand32-<user>-": the start of every viewer's socket name.
    static QString socketPrefix();

    // Asks every other running viewer to close and waits (up to the timeout
    // for each) until it has gone. Stale sockets of viewers that died are
    // removed. Returns how many viewers closed.
    static int closeOthers(int timeoutMs = 10000);

    explicit SingleInstance(QObject* parent = nullptr);
    // Starts listening; false when the socket could not be made.
    bool listen();
    QString serverName() const { return m_server.fullServerName(); }

    // Called when another viewer asks this one to close; the connection is
    // closed when it returns.
    std::function<void()> closeRequested;

private:
    void acceptConnection();

    QLocalServer m_server;
};

} // namespace pictorand
