#pragma once

#include "Configuration.h"
#include "model/Lifetime.h"
#include "voice/ICECandidateData.h"
#include "voice/OfferResponse.h"
#include "voice/RtcMediaDevices.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class AuthService;
class PeerConnectionDelegateWrapper;
class RtcAudioTrack;
class RtcPeerConnection;
class RtcPeerConnectionFactory;

// The limits of a connection attempt: the whole of it, each step of the description exchange, and
// the microphone's first sound. Tests pass shorter ones.
struct VoiceChatTimeouts
{
    std::chrono::milliseconds connection{30'000};
    std::chrono::milliseconds sdpStep{15'000};
    std::chrono::milliseconds microphone{5'000};
};

// One voice conversation with the voice agent server: a WebRTC peer connection that sends the
// microphone and plays the agent, the offer and answer exchanged over HTTP, the local candidates
// trickled to the server, and the state the voice screen shows. Main thread only; one instance
// per showing of the voice screen.
class VoiceChatService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected NOTIFY isConnectedChanged)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY isConnectingChanged)
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(bool isSpeaking READ isSpeaking NOTIFY isSpeakingChanged)
    Q_PROPERTY(QString transcript READ transcript NOTIFY transcriptChanged)
    Q_PROPERTY(QString assistantText READ assistantText NOTIFY assistantTextChanged)
    Q_PROPERTY(float inputAudioLevel READ inputAudioLevel NOTIFY inputAudioLevelChanged)
    Q_PROPERTY(float outputAudioLevel READ outputAudioLevel NOTIFY outputAudioLevelChanged)

public:
    static constexpr int stunPort = 19302;
    // The agent counts as speaking while its audio is above this level, and for a short while
    // after, so that the pauses between its words do not make the screen flicker.
    static constexpr float speakingThreshold = 0.02f;
    static constexpr std::chrono::milliseconds speakingHold{600};

    explicit VoiceChatService(QString baseURL = QString::fromUtf8(Configuration::voiceUrl),
                              RtcMediaDevices devices = {}, VoiceChatTimeouts timeouts = {},
                              QObject *parent = nullptr);
    // Tears a live session down first, and stops an attempt in progress, its microphone check
    // with it.
    ~VoiceChatService() override;

    const QString &baseURL() const { return m_baseURL; }
    bool isConnected() const { return m_isConnected; }
    bool isConnecting() const { return m_isConnecting; }
    bool isListening() const { return m_isListening; }
    bool isSpeaking() const { return m_isSpeaking; }
    const QString &transcript() const { return m_transcript; }
    const QString &assistantText() const { return m_assistantText; }
    float inputAudioLevel() const { return m_inputAudioLevel; }
    float outputAudioLevel() const { return m_outputAudioLevel; }
    const std::optional<QString> &pcId() const { return m_pcId; }
    const QList<ICECandidateData> &pendingCandidates() const { return m_pendingCandidates; }
    bool hasPeerConnection() const { return peerConnection != nullptr; }

    // Set by the screen before connect().
    std::optional<QString> userId;
    AuthService *authService = nullptr;
    std::function<void(const QString &)> onTranscriptUpdate;
    std::function<void(const QString &)> onAssistantResponse;
    std::function<void(const std::exception &)> onError;

    // Opens the session: returns once the answer is applied; the connected state arrives later.
    // Does nothing while connecting or connected. Any failure leaves the service idle.
    QCoro::Task<> connect();
    void disconnect();
    // Throws PipecatError::notConnected when there is no connected session.
    void startListening();
    Q_INVOKABLE void stopListening();

    // Events of the peer connection, on the main thread.
    Q_INVOKABLE void handleConnectionStateChange(int state);
    void handleICECandidate(const QString &sdp, const std::optional<QString> &sdpMid,
                            int sdpMLineIndex);
    // A level measured over the last few milliseconds of audio, 0 to 1.
    Q_INVOKABLE void handleInputAudioLevel(float level);
    Q_INVOKABLE void handleOutputAudioLevel(float level);
    // The microphone stopped delivering sound (unplugged, its sound server gone): the session
    // ends and onError hears why.
    void handleAudioCaptureFailure();

signals:
    void isConnectedChanged();
    void isConnectingChanged();
    void isListeningChanged();
    void isSpeakingChanged();
    void transcriptChanged();
    void assistantTextChanged();
    void inputAudioLevelChanged();
    void outputAudioLevelChanged();

private:
    QCoro::Task<> performConnection(std::stop_token stop);
    QCoro::Task<bool> checkMicrophonePermission(std::stop_token stop);
    RtcMediaDevices devicesForServer() const;
    // Both requests go to this address; none when the base URL cannot make one.
    std::optional<QUrl> offerURL() const;
    QCoro::Task<QString> createLocalOffer(std::stop_token stop);
    QCoro::Task<> applyRemoteAnswer(QString sdp, std::stop_token stop);
    QCoro::Task<OfferResponse> sendOffer(QString sdp, std::stop_token stop);
    // Candidate requests end with the attempt that found them.
    QCoro::Task<> sendICECandidate(ICECandidateData candidate, QString pcId, std::stop_token stop);
    QCoro::Task<> flushPendingCandidates(std::stop_token stop);
    void resetState();

    void setIsConnected(bool value);
    void setIsConnecting(bool value);
    void setIsListening(bool value);
    void setIsSpeaking(bool value);
    void setInputAudioLevel(float value);
    void setOutputAudioLevel(float value);

    QString m_baseURL;
    RtcMediaDevices devices;
    VoiceChatTimeouts timeouts;
    bool m_isConnected = false;
    bool m_isConnecting = false;
    bool m_isListening = false;
    bool m_isSpeaking = false;
    QString m_transcript;
    QString m_assistantText;
    float m_inputAudioLevel = 0;
    float m_outputAudioLevel = 0;
    std::shared_ptr<RtcPeerConnectionFactory> peerConnectionFactory;
    std::unique_ptr<RtcPeerConnection> peerConnection;
    RtcAudioTrack *localAudioTrack = nullptr;
    std::shared_ptr<PeerConnectionDelegateWrapper> delegateWrapper;
    std::optional<QString> m_pcId;
    QList<ICECandidateData> m_pendingCandidates;
    QTimer speakingOffDelay;
    // The current connection attempt's stop, which also ends its candidate requests. Stopped by
    // disconnect() and by the next attempt, so that an attempt still in flight ends there.
    std::stop_source attempt;
    Lifetime lifetime;
};
