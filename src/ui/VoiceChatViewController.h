#pragma once

#include "model/Lifetime.h"
#include "ui/ErrorAlertState.h"
#include "voice/VoiceChatService.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <chrono>
#include <functional>
#include <memory>

class AuthService;

// The voice chat screen: one voice session for as long as the screen is shown, the last text of
// each side, the error alert, the push-to-talk button's press and release, and the texts that
// follow from the session's state. The screen's QML holds only layout and bindings.
class VoiceChatViewController : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(VoiceChatService *voiceService READ voiceService CONSTANT)
    Q_PROPERTY(ErrorAlertState *alert READ alert CONSTANT)
    Q_PROPERTY(QString userTranscript READ userTranscript NOTIFY userTranscriptChanged)
    Q_PROPERTY(QString assistantResponse READ assistantResponse NOTIFY assistantResponseChanged)
    Q_PROPERTY(Connection connection READ connection NOTIFY displayChanged)
    Q_PROPERTY(QString connectionLabel READ connectionLabel NOTIFY displayChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY displayChanged)
    Q_PROPERTY(QString hint READ hint NOTIFY displayChanged)
    Q_PROPERTY(bool showsUserRow READ showsUserRow NOTIFY displayChanged)
    Q_PROPERTY(bool showsAssistantRow READ showsAssistantRow NOTIFY displayChanged)
    Q_PROPERTY(bool showsTranscript READ showsTranscript NOTIFY displayChanged)

public:
    // The connection indicator's three looks, capitalised so that the views can name them.
    enum Connection
    {
        Connected,
        Connecting,
        Disconnected
    };
    Q_ENUM(Connection)

    // Runs a callback once after a delay. Tests pass a clock of their own.
    using Schedule = std::function<void(std::chrono::milliseconds, std::function<void()>)>;

    // How long both texts stay after the button is let go, so the answer can be read.
    static constexpr std::chrono::milliseconds transcriptClearDelay{5000};

    // A screen of the shared sign-in service, with a session to the voice agent server.
    explicit VoiceChatViewController(QObject *parent = nullptr);
    VoiceChatViewController(AuthService &authService,
                            std::unique_ptr<VoiceChatService> voiceService, Schedule schedule = {},
                            QObject *parent = nullptr);
    ~VoiceChatViewController() override;

    VoiceChatService *voiceService() const { return m_voiceService.get(); }
    ErrorAlertState *alert() { return &m_alert; }
    const QString &userTranscript() const { return m_userTranscript; }
    const QString &assistantResponse() const { return m_assistantResponse; }

    Connection connection() const;
    QString connectionLabel() const;
    QString statusText() const;
    QString hint() const;
    bool showsUserRow() const;
    // The assistant's last text gives way while the assistant speaks its next one.
    bool showsAssistantRow() const;
    bool showsTranscript() const { return showsUserRow() || showsAssistantRow(); }

    // The screen was shown: opens the session for the signed-in user.
    Q_INVOKABLE void appear();
    QCoro::Task<> openSession();
    // The screen went away: the session ends.
    Q_INVOKABLE void disappear();
    // The talk button is held: the microphone goes on once the session is up.
    Q_INVOKABLE void press();
    // The talk button is let go: the microphone goes off and, a while later, both texts go.
    Q_INVOKABLE void release();

signals:
    void userTranscriptChanged();
    void assistantResponseChanged();
    // Any of the texts and visibilities that follow from the session's state changed.
    void displayChanged();

private:
    void setUserTranscript(const QString &text);
    void setAssistantResponse(const QString &text);
    void clearTexts();

    AuthService &authService;
    std::unique_ptr<VoiceChatService> m_voiceService;
    Schedule schedule;
    ErrorAlertState m_alert;
    QString m_userTranscript;
    QString m_assistantResponse;
    Lifetime lifetime;
};
