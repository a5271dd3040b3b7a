#include "voice/VoiceChatService.h"

#include "SoundServer.h"
#include "VoicePeer.h"
#include "support/TaskAwaiting.h"
#include "voice/PeerConnectionDelegateWrapper.h"
#include "voice/PipecatError.h"
#include "voice/RtcPeerConnection.h"
#include "voice/RtcPeerConnectionFactory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>

namespace {

// A tone instead of the microphone and a sink that drops what the agent says: no sound device.
const RtcMediaDevices testDevices{QStringLiteral("audiotestsrc is-live=true wave=sine volume=0.5"),
                                  QStringLiteral("fakesink sync=true"),
                                  {QStringLiteral("127.0.0.1")}};

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10'000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

void expectIdleAndTornDown(const VoiceChatService &service)
{
    EXPECT_FALSE(service.isConnected());
    EXPECT_FALSE(service.isConnecting());
    EXPECT_FALSE(service.isListening());
    EXPECT_FALSE(service.isSpeaking());
    EXPECT_FALSE(service.hasPeerConnection());
    EXPECT_FALSE(service.pcId());
    EXPECT_TRUE(service.pendingCandidates().isEmpty());
}

std::string failureText(QCoro::Task<> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const std::exception &error) {
        return error.what();
    }
    return {};
}

std::string logOf(const std::function<void()> &action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

QJsonArray requestsOf(VoicePeer &peer, const QString &method)
{
    QJsonArray matching;
    for (const auto request : peer.report().value(QStringLiteral("requests")).toArray())
        if (request.toObject().value(QStringLiteral("method")).toString() == method)
            matching.append(request.toObject().value(QStringLiteral("body")));
    return matching;
}

// Points this process at a sound server that is not there, for as long as it lives.
class NoSoundServer
{
public:
    NoSoundServer()
    {
        if (qEnvironmentVariableIsSet(variable))
            previous = qgetenv(variable);
        qputenv(variable, "unix:/nonexistent/native");
    }
    ~NoSoundServer()
    {
        if (previous)
            qputenv(variable, *previous);
        else
            qunsetenv(variable);
    }

private:
    static constexpr char variable[] = "PULSE_SERVER";
    std::optional<QByteArray> previous;
};

class VoiceChatServiceTest : public ::testing::Test
{
protected:
    VoicePeer peer;
    VoiceChatService service{peer.baseURL(), testDevices};

    void connectAndWaitForConnected()
    {
        awaitTask(service.connect());
        ASSERT_TRUE(waitUntil([&] { return service.isConnected(); }));
    }
};

TEST_F(VoiceChatServiceTest, ConnectsAndTricklesCandidatesFoundBeforeTheAnswerInOrder)
{
    // The answer comes late, so every local candidate is found before the session has its id.
    peer.script({{"delay", 0.5}});
    service.userId = QStringLiteral("user_01");
    QList<ICECandidateData> buffered;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!service.pcId())
            buffered = service.pendingCandidates();
    });
    watch.start(5);
    auto connecting = service.connect();
    EXPECT_TRUE(service.isConnecting());
    // A second connect() while connecting returns at once, without a second offer.
    awaitTask(service.connect());
    awaitTask(std::move(connecting));
    watch.stop();

    ASSERT_TRUE(service.pcId());
    EXPECT_TRUE(service.pendingCandidates().isEmpty());
    const QJsonObject offer = requestsOf(peer, QStringLiteral("POST")).first().toObject();
    EXPECT_EQ(offer.value(QStringLiteral("type")).toString(), QStringLiteral("offer"));
    EXPECT_EQ(offer.value(QStringLiteral("client")).toString(), QStringLiteral("vessa_mac_voice"));
    EXPECT_EQ(offer.value(QStringLiteral("workos_user_id")).toString(), QStringLiteral("user_01"));

    ASSERT_FALSE(buffered.isEmpty());
    const QJsonArray patches = requestsOf(peer, QStringLiteral("PATCH"));
    ASSERT_EQ(patches.size(), buffered.size());
    for (qsizetype i = 0; i < buffered.size(); ++i) {
        const QJsonObject patch = patches[i].toObject();
        EXPECT_EQ(patch.value(QStringLiteral("pc_id")).toString(), *service.pcId());
        const QJsonArray candidates = patch.value(QStringLiteral("candidates")).toArray();
        ASSERT_EQ(candidates.size(), 1);
        const QJsonObject candidate = candidates.first().toObject();
        EXPECT_EQ(candidate.value(QStringLiteral("candidate")).toString(), buffered[i].sdp);
        EXPECT_EQ(candidate.value(QStringLiteral("sdp_mid")).toString(), buffered[i].sdpMid);
        EXPECT_EQ(candidate.value(QStringLiteral("sdp_mline_index")).toInt(-1),
                  buffered[i].sdpMLineIndex);
    }

    ASSERT_TRUE(waitUntil([&] { return service.isConnected(); }));
    EXPECT_FALSE(service.isConnecting());
    EXPECT_TRUE(service.isListening());

    // Once the id is known, each candidate goes at once in a request of its own; one without a
    // media identifier is sent with an empty one.
    service.handleICECandidate(buffered.first().sdp, std::nullopt, 0);
    ASSERT_TRUE(waitUntil(
        [&] { return requestsOf(peer, QStringLiteral("PATCH")).size() == buffered.size() + 1; }));
    const QJsonObject late = requestsOf(peer, QStringLiteral("PATCH"))
                                 .last()
                                 .toObject()
                                 .value(QStringLiteral("candidates"))
                                 .toArray()
                                 .first()
                                 .toObject();
    EXPECT_EQ(late.value(QStringLiteral("sdp_mid")), QJsonValue(QString()));

    // A second connect() while connected changes nothing.
    awaitTask(service.connect());
    EXPECT_EQ(requestsOf(peer, QStringLiteral("POST")).size(), 1);
}

TEST_F(VoiceChatServiceTest, MutingSendsSilenceAndTheLevelsFollowBothVoices)
{
    // The agent also sends video, which is received and dropped without holding up the audio.
    peer.script({{"mode", QStringLiteral("with-video")}});
    connectAndWaitForConnected();
    EXPECT_TRUE(waitUntil([&] { return peer.receivedEnergy() > 0.1; }));
    EXPECT_TRUE(waitUntil([&] { return service.inputAudioLevel() > 0.1f; }));

    service.stopListening();
    EXPECT_FALSE(service.isListening());
    EXPECT_TRUE(waitUntil([&] { return peer.receivedEnergy() < 0.005; }));
    EXPECT_TRUE(waitUntil([&] { return service.inputAudioLevel() == 0.0f; }));
    EXPECT_TRUE(service.isConnected());

    service.startListening();
    EXPECT_TRUE(waitUntil([&] { return peer.receivedEnergy() > 0.1; }));

    EXPECT_FALSE(service.isSpeaking());
    peer.script({{"speaking", true}});
    EXPECT_TRUE(waitUntil([&] { return service.isSpeaking(); }));
    EXPECT_GT(service.outputAudioLevel(), 0.1f);
    peer.script({{"speaking", false}});
    QElapsedTimer quiet;
    quiet.start();
    EXPECT_TRUE(waitUntil([&] { return !service.isSpeaking(); }));
    EXPECT_GE(quiet.elapsed(), VoiceChatService::speakingHold.count() - 100);
}

TEST_F(VoiceChatServiceTest, BadAnswersFailTheConnectionAndLeaveTheServiceIdle)
{
    // Decoding failures reach the screen as the JSON library words them.
    const std::pair<const char *, std::string> cases[] = {
        {"status-500", "Server error: Server returned 500: agent unavailable"},
        {"no-pc-id", "[json.exception.out_of_range.403] key 'pc_id' not found"},
        {"not-json", "[json.exception.parse_error.101] parse error at line 1, column 1: syntax "
                     "error while parsing value - invalid literal; last read: '<'"},
        {"wrong-types", "[json.exception.type_error.302] type must be string, but is number"},
        {"bad-sdp", "WebRTC error: The session description could not be read"},
        // Well formed, but not an answer to this offer: the engine refuses it.
        {"foreign-sdp", "WebRTC error: "},
    };
    for (const auto &[mode, expected] : cases) {
        SCOPED_TRACE(mode);
        peer.script({{"mode", QString::fromLatin1(mode)}});
        const std::string failure = failureText(service.connect());
        if (expected.ends_with(": "))
            EXPECT_TRUE(failure.starts_with(expected) && failure.size() > expected.size())
                << failure;
        else
            EXPECT_EQ(failure, expected);
        expectIdleAndTornDown(service);
    }
}

TEST_F(VoiceChatServiceTest, AHugeErrorBodyIsCutForTheAlert)
{
    peer.script({{"mode", QStringLiteral("status-500-huge")}});
    const std::string failure = failureText(service.connect());
    EXPECT_TRUE(failure.starts_with("Server error: Server returned 500: xxx")) << failure;
    EXPECT_LT(failure.size(), 1000U);
}

TEST_F(VoiceChatServiceTest, ASupersededAttemptLeavesItsSuccessorAlone)
{
    // Stopped while it waits, the first attempt hears of it only after the second has begun.
    auto first = service.connect();
    service.disconnect();
    auto second = service.connect();
    EXPECT_EQ(failureText(std::move(first)), "The request was cancelled.");
    awaitTask(std::move(second));
    EXPECT_TRUE(waitUntil([&] { return service.isConnected(); }));
    EXPECT_EQ(requestsOf(peer, QStringLiteral("POST")).size(), 1);
}

TEST_F(VoiceChatServiceTest, DisconnectingDuringTheOfferEndsTheAttemptOnce)
{
    peer.script({{"delay", 30}});
    auto connecting = service.connect();
    ASSERT_TRUE(waitUntil([&] { return !requestsOf(peer, QStringLiteral("POST")).isEmpty(); }));
    EXPECT_EQ(logOf([&] { service.disconnect(); }),
              "[VoiceService] Disconnecting...\n[VoiceService] Disconnected\n");
    EXPECT_EQ(failureText(std::move(connecting)), "The request was cancelled.");
    expectIdleAndTornDown(service);
}

TEST_F(VoiceChatServiceTest, FailedCandidateRequestsAreOnlyLogged)
{
    peer.script({{"mode", QStringLiteral("patch-fails")}, {"delay", 0.3}});
    awaitTask(service.connect());
    EXPECT_TRUE(service.pcId());
    EXPECT_FALSE(requestsOf(peer, QStringLiteral("PATCH")).isEmpty());
}

TEST_F(VoiceChatServiceTest, APeerThatGoesAwayFailsTheSessionAndReportsItOnce)
{
    int reports = 0;
    QString reported;
    service.onError = [&](const std::exception &error) {
        ++reports;
        reported = QString::fromUtf8(error.what());
    };
    connectAndWaitForConnected();
    peer.script({{"close", true}});
    QElapsedTimer noticed;
    noticed.start();
    EXPECT_TRUE(waitUntil([&] { return !service.isConnected(); }, 80'000));
    std::cout << "A vanished peer was noticed after " << noticed.elapsed() << " ms\n";
    QTest::qWait(200);
    EXPECT_FALSE(service.isListening());
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(reported.toStdString(), "WebRTC error: Connection failed");
    service.disconnect();
    expectIdleAndTornDown(service);
}

TEST(VoiceChatServiceLimits, AServerThatNeverAnswersTimesOut)
{
    VoicePeer peer;
    peer.script({{"mode", QStringLiteral("never-answer")}});
    VoiceChatService service(peer.baseURL(), testDevices, {std::chrono::milliseconds(1500)});
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(failureText(service.connect()), "Connection timed out");
    EXPECT_LT(elapsed.elapsed(), 5000);
    expectIdleAndTornDown(service);
}

TEST(VoiceChatServiceLimits, HeldCandidateRequestsEndWithTheAttempt)
{
    using namespace std::chrono_literals;
    for (const bool timesOut : {false, true}) {
        SCOPED_TRACE(timesOut ? "timed out" : "disconnected");
        // The answer comes late, so the candidates wait for it; then each request is held past
        // the attempt's limit. The limit leaves a busy machine time to send the first.
        constexpr int patchDelayMs = 8000;
        VoicePeer peer;
        peer.script({{"delay", 0.2}, {"patch-delay", patchDelayMs / 1000.0}});
        VoiceChatService service(peer.baseURL(), testDevices, {timesOut ? 6s : 30s});
        const auto patches = [&] { return requestsOf(peer, QStringLiteral("PATCH")).size(); };
        auto connecting = service.connect();
        ASSERT_TRUE(waitUntil([&] { return patches() == 1; }));
        if (!timesOut)
            service.disconnect();
        EXPECT_EQ(failureText(std::move(connecting)),
                  timesOut ? "Connection timed out" : "The request was cancelled.");
        // Past the time the held request would have been answered, no other follows it.
        EXPECT_FALSE(waitUntil([&] { return patches() > 1; }, patchDelayMs + 1000));
    }
}

TEST(VoiceChatServiceDevices, TheDesktopsMicrophoneIsRequiredWhereThereIsNone)
{
    if (QDir(QStringLiteral("/dev/snd")).exists())
        GTEST_SKIP() << "this machine has sound devices";
    // No sound server either: the default source has nothing to capture from.
    const NoSoundServer noServer;
    VoiceChatService service(QStringLiteral("http://127.0.0.1:9"));
    EXPECT_EQ(failureText(service.connect()), "Audio error: Microphone permission is required");
    expectIdleAndTornDown(service);
}

TEST(VoiceChatServiceDevices, ACallThatFindsNoMicrophoneEndsWithTheAudioErrorWhereThereIsNone)
{
    if (QDir(QStringLiteral("/dev/snd")).exists())
        GTEST_SKIP() << "this machine has sound devices";
    // Past the check, as when the microphone goes between the check and the call: the call's own
    // capture finds nothing.
    const NoSoundServer noServer;
    VoiceChatService service(QStringLiteral("http://127.0.0.1:9"));
    QStringList reported;
    service.onError = [&](const std::exception &error) {
        reported.append(QString::fromUtf8(error.what()));
    };
    const auto events = std::make_shared<PeerConnectionDelegateWrapper>(&service);
    const std::unique_ptr<RtcPeerConnection> call =
        RtcPeerConnectionFactory(RtcMediaDevices{}).peerConnection({}, events);
    ASSERT_NE(call->addAudioTrack(QStringLiteral("audio0"), {}), nullptr);
    call->offer([](auto, auto) {});
    ASSERT_TRUE(waitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_EQ(reported.first(), QStringLiteral("Audio error: Microphone permission is required"));
}

TEST(VoiceChatServiceDevices, ASoundServersSourceIsHeardUntilTheServerGoes)
{
    SoundServer sound(660);
    VoicePeer peer;
    VoiceChatService service(peer.baseURL());
    QStringList reported;
    service.onError = [&](const std::exception &error) {
        reported.append(QString::fromUtf8(error.what()));
    };
    awaitTask(service.connect());
    ASSERT_TRUE(waitUntil([&] { return service.isConnected(); }));
    EXPECT_TRUE(waitUntil([&] { return std::abs(peer.receivedFrequency() - 660) < 60; }))
        << peer.receivedFrequency();
    EXPECT_GT(peer.receivedEnergy(), 0.01);

    sound.kill();
    ASSERT_TRUE(waitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_EQ(reported,
              QStringList{QStringLiteral("Audio error: Microphone permission is required")});
    expectIdleAndTornDown(service);
}

TEST(VoiceChatServiceDevices, AnAttemptStoppedDuringTheMicrophoneCheckClosesTheMicrophone)
{
    using namespace std::chrono_literals;
    for (const bool destroyed : {false, true}) {
        SCOPED_TRACE(destroyed ? "destroyed" : "disconnected");
        SoundServer sound(660);
        sound.stallMicrophone();
        // The check would wait for the first sound far longer than the waits below.
        auto service = std::make_unique<VoiceChatService>(
            QStringLiteral("http://127.0.0.1:9"), RtcMediaDevices{},
            VoiceChatTimeouts{.connection = 120s, .microphone = 120s});
        auto connecting = service->connect();
        ASSERT_TRUE(waitUntil([&] { return sound.recordingStreams() == 1; }));
        if (destroyed)
            service.reset();
        else
            service->disconnect();
        EXPECT_EQ(failureText(std::move(connecting)), "The request was cancelled.");
        EXPECT_TRUE(waitUntil([&] { return sound.recordingStreams() == 0; }));
    }
}

TEST(VoiceChatServiceLimits, RefusesWithoutAMicrophoneOrAUsableAddress)
{
    VoiceChatService noMicrophone(
        QStringLiteral("http://127.0.0.1:9"),
        {QStringLiteral("alsasrc device=vessa-missing"), QStringLiteral("fakesink"), {}});
    EXPECT_EQ(failureText(noMicrophone.connect()),
              "Audio error: Microphone permission is required");
    expectIdleAndTornDown(noMicrophone);

    VoiceChatService badURL(QStringLiteral("no address"), testDevices);
    EXPECT_EQ(failureText(badURL.connect()), "Invalid URL");
    expectIdleAndTornDown(badURL);

    EXPECT_EQ(failureText([&]() -> QCoro::Task<> {
                  badURL.startListening();
                  co_return;
              }()),
              "Not connected to voice server");

    testing::internal::CaptureStdout();
    badURL.disconnect();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[VoiceService] Disconnecting...\n[VoiceService] Disconnected\n");
    expectIdleAndTornDown(badURL);
}

} // namespace
