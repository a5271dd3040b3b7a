// The voice session against a real voice agent server on this machine: the time from connect()
// to the connected state (ten sessions, one after another), and the CPU the client uses during a
// 30-second call with the microphone on. The server's address is the first argument (the local
// backend by default); audio is a tone in and a sink that drops it out, on loopback only.
#include "model/SharedInstance.h"
#include "voice/VoiceChatService.h"

#include <Configuration.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

const RtcMediaDevices benchDevices{QStringLiteral("audiotestsrc is-live=true wave=sine volume=0.3"),
                                   QStringLiteral("fakesink sync=true"),
                                   {QStringLiteral("127.0.0.1")}};

double processCpuSeconds()
{
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// Milliseconds from connect() to connected, or a negative number when it failed.
double timeOneConnection(const QString &url)
{
    VoiceChatService service(url, benchDevices);
    QElapsedTimer elapsed;
    elapsed.start();
    bool failed = false;
    bool returned = false;
    [](VoiceChatService &voice, bool &failure, bool &done) -> QCoro::Task<> {
        try {
            co_await voice.connect();
        } catch (const std::exception &error) {
            std::printf("connect failed: %s\n", error.what());
            failure = true;
        }
        done = true;
    }(service, failed, returned);
    const bool connected =
        QTest::qWaitFor([&] { return failed || service.isConnected(); }, 10'000) && !failed;
    const double milliseconds = double(elapsed.nsecsElapsed()) / 1e6;
    // The last candidates may still be on their way when the state arrives.
    if (!QTest::qWaitFor([&] { return returned; }, 5'000))
        std::printf("connect() did not return after the connected state\n");
    service.disconnect();
    return connected ? milliseconds : -1;
}

void benchConnections(const QString &url)
{
    std::vector<double> times;
    for (int i = 0; i < 10; ++i)
        times.push_back(timeOneConnection(url));
    std::sort(times.begin(), times.end());
    if (times.front() < 0) {
        std::printf("connect to connected: %d of 10 sessions failed\n",
                    int(std::count_if(times.begin(), times.end(), [](double t) { return t < 0; })));
        return;
    }
    std::printf("connect to connected, 10 sessions: median %.1f ms, min %.1f ms, max %.1f ms\n",
                (times[4] + times[5]) / 2, times.front(), times.back());
}

void benchCall(const QString &url)
{
    VoiceChatService service(url, benchDevices);
    [](VoiceChatService &voice) -> QCoro::Task<> {
        try {
            co_await voice.connect();
        } catch (const std::exception &) {
        }
    }(service);
    if (!QTest::qWaitFor([&] { return service.isConnected(); }, 10'000)) {
        std::printf("30-second call: no connection\n");
        return;
    }
    int levelUpdates = 0;
    QObject::connect(&service, &VoiceChatService::inputAudioLevelChanged, [&] { ++levelUpdates; });
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(30'000);
    const double cpu = processCpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1000;
    std::printf("30-second call: %.2f s CPU in %.1f s (%.1f%% of one core), %d input level "
                "updates (%.1f per second), still connected: %s\n",
                cpu, seconds, 100 * cpu / seconds, levelUpdates, levelUpdates / seconds,
                service.isConnected() ? "yes" : "no");
    service.disconnect();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QNetworkAccessManager network;
    const SharedInstance<QNetworkAccessManager> sharedNetwork(network);
    const QString url =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString::fromUtf8(Configuration::voiceUrl);
    benchConnections(url);
    benchCall(url);
    return 0;
}
