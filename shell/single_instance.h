#pragma once
// One viewer at a time: each running viewer listens on a local socket in a
// per-user folder, named from the program caption, the user and its process
// id. A starting viewer that is asked to be the only one connects to every
// socket there and asks each viewer to close; each writes its window
// position and quits, and the connection ends when it has gone.
//
// Plain Unix sockets under a QSocketNotifier: the viewer does not need the
// whole network library (and the Kerberos libraries it loads) just for this.

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QSocketNotifier;

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
    // for each) until it has gone. Sockets of viewers that died are removed.
    // Returns how many viewers were asked.
    static int closeOthers(int timeoutMs = 10000);

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;
    // Starts listening; false when the socket could not be made.
    bool listen();
    QString serverName() const { return m_path; }

    // Called when another viewer asks this one to close; the connection is
    // closed when it returns.
    std::function<void()> closeRequested;

private:
    void acceptConnection();
    void readRequest(int client, QSocketNotifier* notifier);

    int m_listener = -1;
    QString m_path;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pictorand
