#include "ui/VoiceChatViewController.h"

#include "app/SignInFixture.h"
#include "support/TaskAwaiting.h"
#include "voice/PipecatError.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A screen whose session waits on a voice agent server that never answers, with a tone for a
// microphone, and whose delayed clearing runs when the test says so.
class VoiceChatViewControllerTest : public SignInFixture
{
protected:
    VoiceChatViewControllerTest()
    {
        ScriptedReply silence;
        silence.neverAnswer = true;
        voiceServer.route("POST", "/api/offer", silence);
    }

    void signIn()
    {
        QCoro::Task<> signingIn = beginSignIn();
        auth.resumeAuthContinuation(callbackURL(QStringLiteral("code-1")));
        awaitTask(std::move(signingIn));
    }

    std::unique_ptr<VoiceChatViewController> screen(VoiceChatTimeouts timeouts = {})
    {
        auto service = std::make_unique<VoiceChatService>(
            voiceServer.url("").toString(),
            RtcMediaDevices{QStringLiteral("audiotestsrc is-live=true wave=silence"),
                            QStringLiteral("fakesink"),
                            {QStringLiteral("127.0.0.1")}},
            timeouts);
        return std::make_unique<VoiceChatViewController>(
            auth, std::move(service),
            [this](std::chrono::milliseconds delay, std::function<void()> callback) {
                delays.push_back(delay);
                scheduled.push_back(std::move(callback));
            });
    }

    ScriptedHttpServer voiceServer;
    std::vector<std::chrono::milliseconds> delays;
    std::vector<std::function<void()>> scheduled;
};

TEST_F(VoiceChatViewControllerTest, SignedOutShowsTheAlertAndOpensNoSession)
{
    const auto controller = screen();
    controller->appear();

    EXPECT_TRUE(controller->alert()->isShown());
    EXPECT_EQ(controller->alert()->message(),
              QStringLiteral("Not logged in. Please log in first."));
    EXPECT_FALSE(controller->voiceService()->isConnecting());
    EXPECT_FALSE(controller->voiceService()->userId.has_value());
    EXPECT_EQ(controller->connectionLabel(), QStringLiteral("Disconnected"));
}

TEST_F(VoiceChatViewControllerTest, HoldingTalksOnceConnectedAndReleasingClearsTheTextsLater)
{
    signIn();
    auto controller = screen();
    VoiceChatService &service = *controller->voiceService();
    controller->appear();
    EXPECT_EQ(service.userId, QStringLiteral("user_01"));
    EXPECT_EQ(service.authService, &auth);
    EXPECT_EQ(controller->connection(), VoiceChatViewController::Connecting);
    // Held before the session is up, the button does nothing.
    controller->press();
    EXPECT_FALSE(service.isListening());

    // Once connected the microphone is already on.
    service.handleConnectionStateChange(2);
    EXPECT_EQ(controller->hint(), QStringLiteral("Release to send"));
    service.onTranscriptUpdate(QStringLiteral("Hi"));
    service.onAssistantResponse(QStringLiteral("Hello"));
    controller->release();
    EXPECT_FALSE(service.isListening());
    ASSERT_EQ(delays, std::vector{5000ms});
    scheduled.front()();
    EXPECT_FALSE(controller->showsTranscript());
    // A second release without a press schedules nothing.
    controller->release();
    EXPECT_EQ(delays.size(), 1U);

    // While the assistant speaks its answer gives way; pressing again clears both texts at once.
    service.onTranscriptUpdate(QStringLiteral("Hi"));
    service.onAssistantResponse(QStringLiteral("Hello"));
    service.handleOutputAudioLevel(0.5f);
    EXPECT_EQ(controller->statusText(), QStringLiteral("Vessa is speaking..."));
    EXPECT_TRUE(controller->showsUserRow());
    EXPECT_FALSE(controller->showsAssistantRow());
    controller->press();
    EXPECT_TRUE(service.isListening());
    EXPECT_EQ(controller->userTranscript() + controller->assistantResponse(), QString());

    // A clearing due after the screen has closed touches nothing.
    controller->release();
    controller.reset();
    scheduled.back()();
}

TEST_F(VoiceChatViewControllerTest, FailuresOfTheSessionReachTheAlert)
{
    signIn();
    const auto controller = screen({50ms, 50ms});
    controller->appear();
    ASSERT_TRUE(QTest::qWaitFor([&controller] { return controller->alert()->isShown(); }));
    EXPECT_EQ(controller->alert()->message(), PipecatError::connectionTimeout().errorDescription());
    EXPECT_EQ(controller->connection(), VoiceChatViewController::Disconnected);

    controller->alert()->setShown(false);
    controller->voiceService()->handleConnectionStateChange(4);
    EXPECT_TRUE(controller->alert()->isShown());
    EXPECT_EQ(controller->alert()->message(), QStringLiteral("WebRTC error: Connection failed"));

    // The microphone failing while the session comes up: its error stays, not the attempt's end.
    const auto another = screen();
    auto opening = another->openSession();
    another->voiceService()->handleAudioCaptureFailure();
    awaitTask(std::move(opening));
    EXPECT_EQ(another->alert()->message(),
              QStringLiteral("Audio error: Microphone permission is required"));
    EXPECT_EQ(another->connection(), VoiceChatViewController::Disconnected);
}

// The decoder's message quotes the token it stopped in: an answer that is one unterminated
// string of megabytes.
TEST_F(VoiceChatViewControllerTest, AFailureQuotingTheServerIsShownInPart)
{
    voiceServer.route("POST", "/api/offer",
                      ScriptedReply::json(R"({"sdp":")" + QByteArray(1 << 20, 'v')));
    signIn();
    const auto controller = screen();
    controller->appear();
    ASSERT_TRUE(QTest::qWaitFor([&controller] { return controller->alert()->isShown(); }, 10000));
    EXPECT_LE(controller->alert()->message().size(), 301);
    EXPECT_TRUE(controller->alert()->message().endsWith(QChar(0x2026)));
}

} // namespace
