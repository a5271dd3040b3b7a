// The local backend's bridge to the user's own model server, as the app meets it: the real
// vessa-localserver in model mode against a scripted model server, read by the real chat client.
// Prints the latency the bridge adds, from the model server's write of a chunk to the client's
// content callback (for the first chunk of a reply, and for each of 1,000 deltas: median and
// p99), and the backend's resident memory while idle and while 8 clients stream long replies at
// once. The backend is the one built with this program unless the first argument names another.
#include "chat/ChatService.h"
#include "model/SharedInstance.h"
#include "support/ScriptedModelServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <httplib.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Model = ScriptedModelServer;
using Clock = std::chrono::steady_clock;

constexpr int latencyReplies = 20;
constexpr int latencyDeltas = 1000;
constexpr int streamingClients = 8;
constexpr int streamedDeltas = 2000;
// Far enough apart that no two chunks travel in one read anywhere on the way.
constexpr auto deltaSpacing = 2ms;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The nearest-rank value at that fraction of the values.
double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::size_t(fraction * double(values.size() - 1) + 0.5)];
}

// Each delta names its place, so that a lost, merged or reordered one shows.
std::string numberedDelta(int index)
{
    return "w" + std::to_string(index) + " ";
}

Model::Reply spacedReply(int deltas)
{
    Model::Reply reply;
    for (int index = 0; index < deltas; ++index) {
        reply.chunks.push_back(Model::contentChunk(numberedDelta(index)));
        reply.chunks.back().pauseBefore = deltaSpacing;
    }
    reply.chunks.push_back(Model::finishChunk("stop"));
    return reply;
}

// The backend as its own process, logging to a file so that nothing it writes can ever wait on a
// pipe this program does not read.
class Backend
{
public:
    Backend(const QString &binary, const std::string &modelUrl)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(folder.filePath(QStringLiteral("log")));
        process.start(binary, {QStringLiteral("--port"), QStringLiteral("0"),
                               QStringLiteral("--data"), folder.filePath(QStringLiteral("data")),
                               QStringLiteral("--pace-ms"), QStringLiteral("0"),
                               QStringLiteral("--model-url"), QString::fromStdString(modelUrl),
                               QStringLiteral("--model"), QStringLiteral("scripted")});
        if (!process.waitForStarted(10'000))
            return;
        const QRegularExpression listening(QStringLiteral("Listening on http://127.0.0.1:(\\d+)"));
        for (int attempt = 0; attempt < 500 && process.state() == QProcess::Running; ++attempt) {
            QFile log(folder.filePath(QStringLiteral("log")));
            if (log.open(QIODevice::ReadOnly)) {
                const auto match = listening.match(QString::fromUtf8(log.readAll()));
                if (match.hasMatch()) {
                    listeningPort = match.captured(1).toInt();
                    return;
                }
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    ~Backend()
    {
        process.terminate();
        if (!process.waitForFinished(10'000))
            process.kill();
    }

    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    // 0 when the backend did not start.
    int port() const { return listeningPort; }

    // A "kB" field of /proc/PID/status, such as VmRSS or VmHWM; -1 when it cannot be read.
    long statusKilobytes(const char *field) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray prefix = QByteArray(field) + ':';
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).trimmed().split(' ').first().toLong();
        return -1;
    }

    // User and system time the backend has used so far.
    double cpuSeconds() const
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        // The fields after the command's closing parenthesis, which may itself hold spaces.
        const QByteArray text = stat.readAll();
        const auto fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // utime and stime are the 14th and 15th fields of the whole line.
        return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
               double(sysconf(_SC_CLK_TCK));
    }

private:
    QTemporaryDir folder;
    QProcess process;
    int listeningPort = 0;
};

// What the client saw of one reply, each delta with the time its callback ran.
struct ClientReply
{
    std::vector<std::string> deltas;
    std::vector<Clock::time_point> times;
    bool complete = false;
    std::string error;
};

// Sends one message and runs the event loop itself until the reply ends: QTest::qWaitFor sleeps
// 10 ms between its passes, which would be measured as the bridge's latency.
ClientReply ask(ChatService &service, const QString &text)
{
    ClientReply reply;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        reply.error = "no end within 60 s";
        loop.quit();
    });
    limit.start(60s);
    service.sendMessage(
        text, std::nullopt,
        [&](const QString &delta) {
            reply.times.push_back(Clock::now());
            reply.deltas.push_back(delta.toStdString());
        },
        {}, {}, {},
        [&] {
            reply.complete = true;
            loop.quit();
        },
        [&](const std::exception &error) {
            reply.error = error.what();
            loop.quit();
        });
    if (!reply.complete && reply.error.empty())
        loop.exec();
    return reply;
}

bool benchLatency(Model &model, const QString &endpoint)
{
    ChatService service(endpoint);

    // 1. The first chunk of a reply: the first of all, then the median of the next ones.
    std::vector<double> firsts;
    for (int index = 0; index <= latencyReplies; ++index) {
        model.push(Model::text({"first ", "reply"}));
        const auto reply = ask(service, QStringLiteral("Hello"));
        if (!reply.complete || reply.times.empty()) {
            std::printf("first chunk: the reply failed: %s\n", reply.error.c_str());
            return false;
        }
        firsts.push_back(milliseconds(reply.times.front() - model.firstChunkWrittenAt()));
    }
    const double coldest = firsts.front();
    firsts.erase(firsts.begin());
    std::printf("Model server's first chunk to the client's first delta, %d replies: median %.2f "
                "ms, min %.2f ms, max %.2f ms (the backend's first reply: %.2f ms)\n",
                latencyReplies, percentile(firsts, 0.5), percentile(firsts, 0),
                percentile(firsts, 1), coldest);

    // 2. Each delta of a long reply, paired with its chunk by place.
    model.push(spacedReply(latencyDeltas));
    const auto reply = ask(service, QStringLiteral("Count"));
    const auto written = model.chunkWrittenTimes();
    if (!reply.complete || reply.deltas.size() != std::size_t(latencyDeltas) ||
        written.size() != std::size_t(latencyDeltas + 1)) {
        std::printf("per delta: %zu of %d deltas arrived, %zu chunks written, complete: %s %s\n",
                    reply.deltas.size(), latencyDeltas, written.size(),
                    reply.complete ? "yes" : "no", reply.error.c_str());
        return false;
    }
    std::vector<double> added;
    int misplaced = 0;
    for (int index = 0; index < latencyDeltas; ++index) {
        misplaced += reply.deltas[std::size_t(index)] != numberedDelta(index);
        added.push_back(
            milliseconds(reply.times[std::size_t(index)] - written[std::size_t(index)]));
    }
    const auto overOne =
        std::count_if(added.begin(), added.end(), [](double ms) { return ms > 1; });
    std::printf("Per delta, %d deltas %lld ms apart: median %.3f ms, p99 %.3f ms, max %.3f ms; "
                "%lld over 1 ms; %d out of place\n",
                latencyDeltas, static_cast<long long>(deltaSpacing.count()), percentile(added, 0.5),
                percentile(added, 0.99), percentile(added, 1), static_cast<long long>(overOne),
                misplaced);
    return misplaced == 0;
}

// One client streaming one chat over plain HTTP; gives the number of content deltas it read.
int streamOneChat(int port)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    std::string body;
    httplib::Request request;
    request.method = "POST";
    request.path = "/api/v1/chat/stream";
    request.set_header("Authorization", "Bearer localdev");
    request.set_header("Content-Type", "application/json");
    request.body = R"({"messages":[{"role":"user","content":"Count"}],"prompt_type":"text"})";
    request.content_receiver = [&](const char *bytes, std::size_t size, std::uint64_t,
                                   std::uint64_t) {
        body.append(bytes, size);
        return true;
    };
    const auto result = client.send(request);
    if (!result || result->status != 200)
        return 0;
    int deltas = 0;
    for (auto at = body.find("event: content_delta"); at != std::string::npos;
         at = body.find("event: content_delta", at + 1))
        ++deltas;
    return deltas;
}

double megabytes(long kilobytes)
{
    return double(kilobytes) / 1024;
}

bool benchMemory(Model &model, const QString &binary)
{
    Backend backend(binary, model.baseUrl());
    if (!backend.port()) {
        std::printf("memory: the backend did not start\n");
        return false;
    }
    // One chat first, so that what the first one sets up counts as idle.
    model.push(Model::text({"ready"}));
    if (streamOneChat(backend.port()) != 1) {
        std::printf("memory: the first chat failed\n");
        return false;
    }
    std::this_thread::sleep_for(500ms);
    const long idle = backend.statusKilobytes("VmRSS");

    model.push(spacedReply(streamedDeltas));
    model.repeatLastReply(true);
    const double cpuBefore = backend.cpuSeconds();
    const auto start = Clock::now();
    std::atomic<int> finished = 0;
    std::vector<int> received(streamingClients);
    std::vector<std::thread> clients;
    for (int index = 0; index < streamingClients; ++index)
        clients.emplace_back([&, index] {
            received[std::size_t(index)] = streamOneChat(backend.port());
            ++finished;
        });
    long peak = idle;
    while (finished < streamingClients) {
        peak = std::max(peak, backend.statusKilobytes("VmRSS"));
        std::this_thread::sleep_for(20ms);
    }
    for (auto &client : clients)
        client.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = backend.cpuSeconds() - cpuBefore;
    const long highWater = backend.statusKilobytes("VmHWM");
    std::this_thread::sleep_for(500ms);
    const long after = backend.statusKilobytes("VmRSS");
    model.repeatLastReply(false);

    const bool allArrived = std::all_of(received.begin(), received.end(),
                                        [](int deltas) { return deltas == streamedDeltas; });
    std::printf("Backend idle after one chat: %.1f MB resident\n", megabytes(idle));
    std::printf("%d clients streaming %d deltas %lld ms apart at once (%.1f s): peak %.1f MB "
                "resident (VmHWM %.1f MB), %.2f MB per streaming client; %.1f MB after; backend "
                "CPU %.2f s (%.0f%% of one core); every delta arrived: %s\n",
                streamingClients, streamedDeltas, static_cast<long long>(deltaSpacing.count()),
                seconds, megabytes(peak), megabytes(highWater),
                megabytes(peak - idle) / streamingClients, megabytes(after), cpu,
                100 * cpu / seconds, allArrived ? "yes" : "no");
    return allArrived;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QNetworkAccessManager network;
    const SharedInstance<QNetworkAccessManager> sharedNetwork(network);
    const QString binary =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VESSA_LOCALSERVER_BINARY);

    Model model;
    bool measured = false;
    {
        Backend backend(binary, model.baseUrl());
        if (!backend.port()) {
            std::printf("the backend %s did not start\n", qPrintable(binary));
            return 1;
        }
        measured = benchLatency(
            model, QStringLiteral("http://127.0.0.1:%1/api/v1/chat/stream").arg(backend.port()));
    }
    measured = benchMemory(model, binary) && measured;
    return measured ? 0 : 1;
}
