#pragma once

#include <QProcess>
#include <QString>
#include <QUrl>

// One of the Node.js MCP servers under tests/peers, run as a child process on 127.0.0.1 and a
// free port for as long as the object lives. Killed in the destructor, so a failing test leaves
// nothing running.
class NodePeer
{
public:
    // False when the npm packages are not installed (scripts/setup.sh installs them).
    static bool installed();
    static QString peersDirectory();

    // Starts `node <script> <port>` and waits until the port accepts connections; a peer that
    // does not come up fails the current test with its output.
    explicit NodePeer(QString script);
    ~NodePeer();
    NodePeer(const NodePeer &) = delete;
    NodePeer &operator=(const NodePeer &) = delete;

    bool isRunning() const { return running; }
    QUrl url(const QString &path = QString()) const;
    // Kills the server and starts it again on the same port, with none of its old state.
    void restart();

private:
    void start();
    void stop();

    QString script;
    quint16 port;
    QProcess process;
    bool running = false;
};
