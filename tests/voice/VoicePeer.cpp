#include "VoicePeer.h"

#include "net/HttpClient.h"
#include "support/TaskAwaiting.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

VoicePeer::VoicePeer(int fixedPort)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's interpreter is the one with aiortc; another python3 may come first on PATH.
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(VESSA_TEST_PEERS_DIR "/voice_peer.py"), QStringLiteral("--port"),
                   QString::number(fixedPort)});
    if (!process.waitForStarted() || !process.waitForReadyRead(20'000)) {
        ADD_FAILURE() << "the voice peer did not start";
        return;
    }
    port = process.readLine().trimmed().toInt();
}

VoicePeer::~VoicePeer()
{
    process.kill();
    process.waitForFinished();
}

void VoicePeer::script(const QJsonObject &changes)
{
    exchange("POST", QStringLiteral("/test/script"), changes);
}

QJsonObject VoicePeer::report()
{
    return exchange("GET", QStringLiteral("/test/report"), {});
}

double VoicePeer::receivedEnergy()
{
    return session().value(QStringLiteral("energy")).toDouble(-1);
}

double VoicePeer::receivedFrequency()
{
    return session().value(QStringLiteral("frequency")).toDouble(-1);
}

QJsonObject VoicePeer::session()
{
    const QJsonObject sessions = report().value(QStringLiteral("sessions")).toObject();
    return sessions.isEmpty() ? QJsonObject() : sessions.begin()->toObject();
}

QJsonObject VoicePeer::exchange(const QByteArray &method, const QString &path,
                                const QJsonObject &body)
{
    HttpRequest request(QUrl(baseURL() + path));
    request.method = method;
    if (method != "GET") {
        request.setHeader("Content-Type", "application/json");
        request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    }
    const HttpResponse response = awaitTask(HttpClient::data(request));
    return QJsonDocument::fromJson(response.body).object();
}
