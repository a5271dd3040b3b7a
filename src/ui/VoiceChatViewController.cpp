#include "ui/VoiceChatViewController.h"

#include "identity/AuthService.h"
#include "net/TransportError.h"

#include <QTimer>
#include <exception>
#include <utility>

namespace {

void runLater(std::chrono::milliseconds delay, std::function<void()> callback)
{
    QTimer::singleShot(delay, std::move(callback));
}

} // namespace

VoiceChatViewController::VoiceChatViewController(QObject *parent)
    : VoiceChatViewController(AuthService::shared(), std::make_unique<VoiceChatService>(), {},
                              parent)
{}

VoiceChatViewController::VoiceChatViewController(AuthService &auth,
                                                 std::unique_ptr<VoiceChatService> voiceService,
                                                 Schedule delayedRun, QObject *parent)
    : QObject(parent)
    , authService(auth)
    , m_voiceService(std::move(voiceService))
    , schedule(delayedRun ? std::move(delayedRun) : Schedule(runLater))
{
    // Everything the screen derives from the session is re-read on any change of it.
    for (const auto changed :
         {&VoiceChatService::isConnectedChanged, &VoiceChatService::isConnectingChanged,
          &VoiceChatService::isListeningChanged, &VoiceChatService::isSpeakingChanged}) {
        connect(m_voiceService.get(), changed, this, &VoiceChatViewController::displayChanged);
    }
    connect(&authService, &AuthService::aiNameChanged, this,
            &VoiceChatViewController::displayChanged);
}

VoiceChatViewController::~VoiceChatViewController()
{
    lifetime.end();
    // The session, which tears itself down as it goes, calls nothing of the screen any more.
    m_voiceService->onTranscriptUpdate = nullptr;
    m_voiceService->onAssistantResponse = nullptr;
    m_voiceService->onError = nullptr;
}

VoiceChatViewController::Connection VoiceChatViewController::connection() const
{
    if (m_voiceService->isConnected())
        return Connected;
    if (m_voiceService->isConnecting())
        return Connecting;
    return Disconnected;
}

QString VoiceChatViewController::connectionLabel() const
{
    switch (connection()) {
    case Connected:
        return QStringLiteral("Connected");
    case Connecting:
        return QStringLiteral("Connecting...");
    case Disconnected:
        break;
    }
    return QStringLiteral("Disconnected");
}

QString VoiceChatViewController::statusText() const
{
    const VoiceChatService &service = *m_voiceService;
    if (!service.isConnected()) {
        return service.isConnecting() ? QStringLiteral("Connecting to voice service...")
                                      : QStringLiteral("Not connected");
    }
    if (service.isSpeaking())
        return authService.aiName() + QStringLiteral(" is speaking...");
    if (service.isListening())
        return QStringLiteral("Listening...");
    return QStringLiteral("Ready");
}

QString VoiceChatViewController::hint() const
{
    if (m_voiceService->isSpeaking())
        return QStringLiteral("Wait for response...");
    if (m_voiceService->isListening())
        return QStringLiteral("Release to send");
    return QStringLiteral("Hold to talk");
}

bool VoiceChatViewController::showsUserRow() const
{
    return !m_userTranscript.isEmpty();
}

bool VoiceChatViewController::showsAssistantRow() const
{
    return !m_assistantResponse.isEmpty() && !m_voiceService->isSpeaking();
}

void VoiceChatViewController::appear()
{
    const auto started = openSession();
}

QCoro::Task<> VoiceChatViewController::openSession()
{
    // 1. Without a signed-in user no session is opened.
    const std::optional<User> &user = authService.currentUser();
    if (!user) {
        m_alert.show(QStringLiteral("Not logged in. Please log in first."));
        co_return;
    }
    // 2. The session learns who talks.
    m_voiceService->userId = user->id;
    m_voiceService->authService = &authService;
    // 3. What the session hears and says, and how it fails later on, reaches the screen.
    m_voiceService->onTranscriptUpdate = [this](const QString &text) { setUserTranscript(text); };
    m_voiceService->onAssistantResponse = [this](const QString &text) {
        setAssistantResponse(text);
    };
    m_voiceService->onError = [this](const std::exception &error) {
        m_alert.show(QString::fromUtf8(error.what()));
    };
    // 4.
    const Lifetime::Guard guard = lifetime.guard();
    std::optional<QString> failure;
    try {
        co_await m_voiceService->connect();
    } catch (const TransportError &error) {
        // An attempt ended by disconnect() has nothing to tell: the screen went away, or the
        // session has said why through onError.
        if (error.kind() != TransportError::Kind::cancelled)
            failure = QString::fromUtf8(error.what());
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (guard && failure)
        m_alert.show(*failure);
}

void VoiceChatViewController::disappear()
{
    m_voiceService->disconnect();
}

void VoiceChatViewController::press()
{
    // Every movement of a held button asks again; only the first one that finds the session up
    // and the microphone off turns it on.
    VoiceChatService &service = *m_voiceService;
    if (service.isListening() || !service.isConnected() || service.isConnecting())
        return;
    try {
        service.startListening();
    } catch (const std::exception &error) {
        m_alert.show(QString::fromUtf8(error.what()));
        return;
    }
    clearTexts();
}

void VoiceChatViewController::release()
{
    if (!m_voiceService->isListening())
        return;
    m_voiceService->stopListening();
    schedule(transcriptClearDelay, [this, guard = lifetime.guard()] {
        if (guard)
            clearTexts();
    });
}

void VoiceChatViewController::setUserTranscript(const QString &text)
{
    if (text == m_userTranscript)
        return;
    m_userTranscript = text;
    emit userTranscriptChanged();
    emit displayChanged();
}

void VoiceChatViewController::setAssistantResponse(const QString &text)
{
    if (text == m_assistantResponse)
        return;
    m_assistantResponse = text;
    emit assistantResponseChanged();
    emit displayChanged();
}

void VoiceChatViewController::clearTexts()
{
    setUserTranscript(QString());
    setAssistantResponse(QString());
}
