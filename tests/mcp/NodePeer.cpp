#include "NodePeer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <gtest/gtest.h>

namespace {

constexpr int startLimitMs = 20'000;

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

bool NodePeer::installed()
{
    return QDir(peersDirectory() + QStringLiteral("/node_modules/@modelcontextprotocol")).exists();
}

QString NodePeer::peersDirectory()
{
    return QStringLiteral(VESSA_TEST_PEERS_DIR);
}

NodePeer::NodePeer(QString scriptName)
    : script(std::move(scriptName))
    , port(freePort())
{
    process.setWorkingDirectory(peersDirectory());
    process.setProcessChannelMode(QProcess::MergedChannels);
    start();
}

NodePeer::~NodePeer()
{
    stop();
}

QUrl NodePeer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

void NodePeer::restart()
{
    stop();
    start();
}

void NodePeer::start()
{
    process.start(QStringLiteral("node"), {script, QString::number(port)});
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cannot start node: " << process.errorString().toStdString();
        return;
    }
    const QDeadlineTimer deadline(startLimitMs);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        if (accepts(port)) {
            running = true;
            return;
        }
        QThread::msleep(50);
    }
    ADD_FAILURE() << script.toStdString() << " did not listen on port " << port << ":\n"
                  << process.readAll().toStdString();
}

void NodePeer::stop()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    running = false;
}
