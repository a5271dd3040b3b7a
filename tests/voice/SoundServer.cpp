#include "SoundServer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <numbers>

namespace {

constexpr char serverVariable[] = "PULSE_SERVER";
constexpr int toneRate = 16'000;
// Longer than any test that uses it.
constexpr int toneSeconds = 120;

// Raw signed 16-bit mono samples of a sine wave at half of full scale.
QByteArray sineWave(int hz)
{
    QByteArray samples(qsizetype(toneRate) * toneSeconds * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<std::int16_t *>(samples.data());
    for (qsizetype i = 0; i < samples.size() / 2; ++i)
        out[i] = std::int16_t(16'000 * std::sin(2 * std::numbers::pi * hz * double(i) / toneRate));
    return samples;
}

QByteArray pactl(const QStringList &arguments)
{
    QProcess control;
    control.start(QStringLiteral("pactl"), arguments);
    control.waitForFinished();
    return control.readAllStandardOutput();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

} // namespace

SoundServer::SoundServer(int toneHz)
{
    const QString socket = folder.filePath(QStringLiteral("native"));
    if (qEnvironmentVariableIsSet(serverVariable))
        previousAddress = qgetenv(serverVariable);
    qputenv(serverVariable, "unix:" + QFile::encodeName(socket));

    // The microphone is the monitor of a sink that the tone plays into; the stalled one reads a
    // pipe nobody writes to. The socket is made last, so that it appears once every device is
    // there.
    const QString script = folder.filePath(QStringLiteral("server.pa"));
    writeFile(script, QStringLiteral("load-module module-null-sink sink_name=discard\n"
                                     "load-module module-null-sink sink_name=microphone\n"
                                     "load-module module-pipe-source source_name=stalled file=%2\n"
                                     "set-default-sink discard\n"
                                     "set-default-source microphone.monitor\n"
                                     "load-module module-native-protocol-unix socket=%1 "
                                     "auth-anonymous=1\n")
                          .arg(socket, folder.filePath(QStringLiteral("stalled")))
                          .toUtf8());
    // Its own home and runtime folder, so that it meets no other daemon and leaves nothing.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"})
        environment.insert(QString::fromLatin1(variable), folder.path());
    daemon.setProcessEnvironment(environment);
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.start(QStringLiteral("pulseaudio"),
                 {QStringLiteral("--daemonize=no"), QStringLiteral("--use-pid-file=no"),
                  QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--log-level=error"),
                  QStringLiteral("-n"), QStringLiteral("-F"), script});
    if (!daemon.waitForStarted() ||
        !QTest::qWaitFor([&socket] { return QFileInfo::exists(socket); }, 10'000)) {
        ADD_FAILURE() << "the sound server did not start";
        return;
    }

    // Played with a short latency, so that the microphone hears it within milliseconds, as a
    // real one does.
    const QString samples = folder.filePath(QStringLiteral("tone.raw"));
    writeFile(samples, sineWave(toneHz));
    tone.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tone.start(QStringLiteral("pacat"),
               {QStringLiteral("--playback"), QStringLiteral("--raw"),
                QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(toneRate),
                QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=10"),
                QStringLiteral("--device=microphone"), samples});
    if (!tone.waitForStarted())
        ADD_FAILURE() << "the tone did not start";
}

SoundServer::~SoundServer()
{
    kill();
    if (previousAddress)
        qputenv(serverVariable, *previousAddress);
    else
        qunsetenv(serverVariable);
}

void SoundServer::kill()
{
    daemon.kill();
    daemon.waitForFinished();
    tone.kill();
    tone.waitForFinished();
}

void SoundServer::stallMicrophone()
{
    pactl({QStringLiteral("set-default-source"), QStringLiteral("stalled")});
}

int SoundServer::recordingStreams()
{
    return int(
        pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("source-outputs")})
            .count('\n'));
}
