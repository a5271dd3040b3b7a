#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>

// The voice agent server of tests/peers/voice_peer.py (aiohttp and aiortc), run with the system's
// Python on 127.0.0.1 for as long as the object lives. The test scripts how it answers and reads
// what it received, including the energy and the pitch of the audio that reached it.
class VoicePeer
{
public:
    // On a free port unless given one.
    explicit VoicePeer(int fixedPort = 0);
    ~VoicePeer();
    VoicePeer(const VoicePeer &) = delete;
    VoicePeer &operator=(const VoicePeer &) = delete;

    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    // Fields of the peer's script: "mode", "delay" (seconds before answering), "patch-delay"
    // (seconds before answering each candidate), "speaking", "close".
    void script(const QJsonObject &changes);
    // {"requests": [{"method", "body"}...], "sessions": {pc_id: {"energy", "frequency", "state"}}}
    QJsonObject report();
    // The energy of what the one session received lately, as an RMS of 0 to 1.
    double receivedEnergy();
    // The strongest frequency of what the one session received lately, in Hz.
    double receivedFrequency();

private:
    QJsonObject session();
    QJsonObject exchange(const QByteArray &method, const QString &path, const QJsonObject &body);

    QProcess process;
    int port = 0;
};
