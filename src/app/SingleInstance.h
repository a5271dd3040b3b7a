#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>

class QLocalSocket;

// Keeps Vessa to one process per user. The browser starts a new process for every sign-in
// callback; that process hands its URLs to the one already running over a local socket and ends.
//
// The socket lives in a folder only the user can enter, under a fixed name: whoever could put a
// socket of their own at that name would receive the sign-in callbacks. Start-up connects first:
// listening first is not enough, because a server with UserAccessOption can listen while another
// one already does, and both would become primary.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role
    {
        // Nobody was running: this process now listens for the URLs of later starts.
        primary,
        // A running instance took the URLs; this process has nothing more to do.
        forwarded,
        // Neither: the socket could not be reached or created (see errorString()).
        unavailable,
    };

    static constexpr char socketFileName[] = "com.kolvane.vessa-mac.socket";
    // The argument, and the line on the socket, that asks the running instance to show or hide
    // its popover. No URL looks like it.
    static constexpr char toggleArgument[] = "--toggle";
    // The line a start with nothing to hand over sends: someone started Vessa again, from the
    // application menu or a terminal, and expects to see it.
    static constexpr char showLine[] = "--show";

    // The fixed socket in the user's runtime folder (XDG_RUNTIME_DIR), or, when there is none
    // that is the user's alone, in a private folder of our own: in the user's cache, or without
    // one, in the temporary folder. Others' reading of ours is taken away; a folder of ours that
    // others could write to, or that is not ours at all, is refused, with a warning that says
    // why. Empty when none can be had.
    static QString defaultSocketPath();

    // A connection must deliver its lines within unfinishedConnectionLimit; one that stays open
    // longer, idle or still sending, is dropped.
    explicit SingleInstance(
        QString socketPath = defaultSocketPath(),
        std::chrono::milliseconds unfinishedConnectionLimit = std::chrono::seconds(10),
        QObject *parent = nullptr);
    ~SingleInstance() override;

    // Runs once at start-up, before the event loop: hands the URLs and the toggle request among
    // the arguments to a running instance (what it would accept, in order, waiting until it is
    // written), or a request to show its popover when there are none, or becomes that instance.
    Role start(const QStringList &arguments);

    // Stops answering later starts, which then become the running instance themselves: an
    // instance on its way out would take their URLs and requests and act on none.
    void close();

    const QString &socketPath() const { return path; }
    QString errorString() const { return failure; }

signals:
    // One accepted line of another start, in the order received. Never logged: a callback URL
    // carries a one-time sign-in code.
    void urlReceived(const QUrl &url);
    // Another start was asked to toggle the popover.
    void toggleRequested();
    // Another start had nothing to hand over: the popover should show, whether or not it does.
    void showRequested();

private:
    enum class Forwarding
    {
        delivered,
        nobodyListening,
        failed
    };

    Forwarding forward(const QStringList &arguments);
    bool listen();
    void acceptConnections();
    void readLines(QLocalSocket &socket, QByteArray &pending);

    QString path;
    std::chrono::milliseconds connectionLimit;
    QString failure;
    QLocalServer server;
};
