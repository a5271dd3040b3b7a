#include "voice/VoiceChatService.h"

#include "model/Excerpt.h"
#include "model/Log.h"
#include "model/Utf8Text.h"
#include "net/HttpClient.h"
#include "net/TransportError.h"
#include "voice/AudioLevels.h"
#include "voice/ContinuationGuard.h"
#include "voice/PeerConnectionDelegateWrapper.h"
#include "voice/PipecatError.h"
#include "voice/RtcAudioTrack.h"
#include "voice/RtcEngine.h"
#include "voice/RtcPeerConnection.h"
#include "voice/RtcPeerConnectionFactory.h"
#include "voice/WithTimeout.h"

#include <QHostAddress>
#include <QThreadPool>
#include <QUrl>
#include <nlohmann/json.hpp>

namespace {

// How far a level may fall per update, about twenty updates a second: from full scale to silence
// in half a second.
constexpr float levelDecayPerUpdate = 0.1f;

TransportError cancellation()
{
    return {TransportError::Kind::cancelled, "The request was cancelled."};
}

// Here the permission to use the microphone is a microphone that delivers sound.
PipecatError microphoneRequired()
{
    return PipecatError::audioError(QStringLiteral("Microphone permission is required"));
}

// After each wait of a connection attempt: leaves, touching nothing of the service, when the
// service is gone or the attempt was stopped. A free function, since the service may be gone.
void throwIfStopped(const Lifetime::Guard &guard, const std::stop_token &stop)
{
    if (!guard || stop.stop_requested())
        throw cancellation();
}

// Starts a callback-style engine operation, handing it the guard its completion resumes.
template<typename T>
using StartCompletion = std::function<void(std::shared_ptr<ContinuationGuard<T>>)>;

// Waits for the one result of the operation, or for the stop.
template<typename T> QCoro::Task<T> awaitCompletion(StartCompletion<T> start, std::stop_token stop)
{
    const auto shot = std::make_shared<OneShot<T>>();
    const auto guard = std::make_shared<ContinuationGuard<T>>(Continuation<T>(shot));
    const std::stop_callback onStop(
        stop, [guard] { guard->resume(std::make_exception_ptr(cancellation())); });
    start(guard);
    co_return co_await *shot;
}

// A description step's completion: the engine's refusal fails the waiting task.
RtcPeerConnection::Completion resumingWith(std::shared_ptr<ContinuationGuard<bool>> continuation)
{
    return [continuation](std::optional<QString> error) {
        if (error)
            continuation->resume(std::make_exception_ptr(PipecatError::webRTCError(*error)));
        else
            continuation->resume(true);
    };
}

QString serverErrorBody(const QByteArray &body)
{
    return Utf8Text::decoded(body).value_or(QStringLiteral("Unknown error"));
}

HttpRequest offerRequest(const QUrl &url, QByteArray body, const char *method)
{
    HttpRequest request(url);
    request.method = method;
    request.setHeader("Content-Type", "application/json");
    request.body = std::move(body);
    return request;
}

} // namespace

VoiceChatService::VoiceChatService(QString baseURL, RtcMediaDevices mediaDevices,
                                   VoiceChatTimeouts limits, QObject *parent)
    : QObject(parent)
    , m_baseURL(std::move(baseURL))
    , devices(std::move(mediaDevices))
    , timeouts(limits)
{
    RtcEngine::initializeSSL();
    speakingOffDelay.setSingleShot(true);
    speakingOffDelay.setInterval(speakingHold);
    QObject::connect(&speakingOffDelay, &QTimer::timeout, this, [this] { setIsSpeaking(false); });
}

VoiceChatService::~VoiceChatService()
{
    lifetime.end();
    attempt.request_stop();
    if (peerConnection)
        disconnect();
}

QCoro::Task<> VoiceChatService::connect()
{
    if (m_isConnected || m_isConnecting)
        co_return;
    const Lifetime::Guard guard = lifetime.guard();
    setIsConnecting(true);
    Log::write(QStringLiteral("[VoiceService] Starting WebRTC connection to Pipecat server..."));
    // This attempt's own stop. disconnect() and any later attempt stop it; a stopped attempt is
    // no longer the current one and leaves without touching what may be its successor's.
    const std::stop_source own;
    std::exchange(attempt, own).request_stop();
    try {
        const std::function<QCoro::Task<>(std::stop_token)> connection =
            [this](std::stop_token stop) { return performConnection(stop); };
        co_await withTimeout<void>(timeouts.connection, own.get_token(), connection);
    } catch (...) {
        if (guard && !own.stop_requested()) {
            setIsConnecting(false);
            disconnect();
        }
        throw;
    }
}

QCoro::Task<> VoiceChatService::performConnection(std::stop_token stop)
{
    const Lifetime::Guard guard = lifetime.guard();
    const bool permitted = co_await checkMicrophonePermission(stop);
    throwIfStopped(guard, stop);
    if (!permitted) {
        setIsConnecting(false);
        throw microphoneRequired();
    }
    peerConnectionFactory = std::make_shared<RtcPeerConnectionFactory>(devicesForServer());
    RtcConfiguration configuration;
    for (const char *host : Configuration::stunHosts)
        configuration.iceServers.append(
            QStringLiteral("stun:%1:%2").arg(QString::fromUtf8(host)).arg(stunPort));
    delegateWrapper = std::make_shared<PeerConnectionDelegateWrapper>(this);
    peerConnection = peerConnectionFactory->peerConnection(configuration, delegateWrapper);
    if (!peerConnection) {
        setIsConnecting(false);
        throw PipecatError::webRTCError(QStringLiteral("Failed to create peer connection"));
    }
    peerConnection->addTransceiver(RtcMediaKind::audio, RtcTransceiverDirection::sendRecv);
    peerConnection->addTransceiver(RtcMediaKind::video, RtcTransceiverDirection::recvOnly);
    localAudioTrack =
        peerConnection->addAudioTrack(QStringLiteral("audio0"), {QStringLiteral("stream0")});
    if (localAudioTrack == nullptr)
        throw PipecatError::webRTCError(QStringLiteral("Failed to create audio track"));
    localAudioTrack->setEnabled(true);

    Log::write(QStringLiteral("[VoiceService] Creating SDP offer..."));
    const std::function<QCoro::Task<QString>(std::stop_token)> createOffer =
        [this](std::stop_token step) { return createLocalOffer(step); };
    const QString sdp = co_await withTimeout<QString>(timeouts.sdpStep, stop, createOffer);
    throwIfStopped(guard, stop);

    Log::write(QStringLiteral("[VoiceService] Sending offer to server..."));
    const OfferResponse answer = co_await sendOffer(sdp, stop);
    throwIfStopped(guard, stop);
    m_pcId = answer.pc_id;
    Log::write(QStringLiteral("[VoiceService] Received answer from server, pc_id: ") +
               answer.pc_id);

    // Named, not a temporary of the co_await: GCC 12 destroys such temporaries twice.
    const std::function<QCoro::Task<>(std::stop_token)> applyAnswer =
        [this, answerSdp = answer.sdp](std::stop_token step) {
            return applyRemoteAnswer(answerSdp, step);
        };
    co_await withTimeout<void>(timeouts.sdpStep, stop, applyAnswer);
    throwIfStopped(guard, stop);
    co_await flushPendingCandidates(stop);
    throwIfStopped(guard, stop);
    Log::write(
        QStringLiteral("[VoiceService] SDP exchange complete, waiting for ICE connection..."));
}

RtcMediaDevices VoiceChatService::devicesForServer() const
{
    RtcMediaDevices chosen = devices;
    // A server on this machine is reached over loopback, which ICE never offers by itself.
    if (chosen.iceAddresses.isEmpty() && QHostAddress(QUrl(m_baseURL).host()).isLoopback())
        chosen.iceAddresses = {QStringLiteral("127.0.0.1")};
    return chosen;
}

std::optional<QUrl> VoiceChatService::offerURL() const
{
    const QUrl url(m_baseURL + QStringLiteral("/api/offer"));
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QCoro::Task<bool> VoiceChatService::checkMicrophonePermission(std::stop_token stop)
{
    // The check waits for the device, so it runs on a worker thread. The attempt's stop ends it
    // there too, so that the microphone closes with the attempt, not at the check's limit.
    const StartCompletion<bool> check = [source = devices.audioSource, limit = timeouts.microphone,
                                         stop](auto continuation) {
        QThreadPool::globalInstance()->start([source, limit, stop, continuation] {
            continuation->resume(RtcEngine::capturesAudio(source, limit, stop));
        });
    };
    co_return co_await awaitCompletion(check, stop);
}

// The starters below are named locals, not temporaries of the co_await: GCC 12 destroys such
// temporaries twice.
QCoro::Task<QString> VoiceChatService::createLocalOffer(std::stop_token stop)
{
    const Lifetime::Guard guard = lifetime.guard();
    RtcPeerConnection *connection = peerConnection.get();
    const StartCompletion<RtcSessionDescription> createOffer = [connection](auto continuation) {
        connection->offer([continuation](std::optional<RtcSessionDescription> description,
                                         std::optional<QString> error) {
            if (error)
                continuation->resume(std::make_exception_ptr(PipecatError::webRTCError(*error)));
            else if (!description)
                continuation->resume(std::make_exception_ptr(
                    PipecatError::webRTCError(QStringLiteral("No SDP returned"))));
            else
                continuation->resume(*description);
        });
    };
    const RtcSessionDescription offer = co_await awaitCompletion(createOffer, stop);
    throwIfStopped(guard, stop);
    const StartCompletion<bool> setLocal = [connection, &offer](auto continuation) {
        connection->setLocalDescription(offer, resumingWith(continuation));
    };
    co_await awaitCompletion(setLocal, stop);
    co_return offer.sdp;
}

QCoro::Task<> VoiceChatService::applyRemoteAnswer(QString sdp, std::stop_token stop)
{
    const RtcSessionDescription answer{RtcSessionDescription::Type::answer, std::move(sdp)};
    const StartCompletion<bool> setRemote = [connection = peerConnection.get(),
                                             &answer](auto continuation) {
        connection->setRemoteDescription(answer, resumingWith(continuation));
    };
    co_await awaitCompletion(setRemote, stop);
}

QCoro::Task<OfferResponse> VoiceChatService::sendOffer(QString sdp, std::stop_token stop)
{
    const std::optional<QUrl> url = offerURL();
    if (!url)
        throw PipecatError::invalidURL();
    nlohmann::ordered_json offer = {
        {"sdp", sdp.toStdString()}, {"type", "offer"}, {"client", "vessa_mac_voice"}};
    if (userId)
        offer["workos_user_id"] = userId->toStdString();
    const HttpResponse response = co_await HttpClient::data(
        offerRequest(*url, QByteArray::fromStdString(offer.dump()), "POST"), stop);
    if (!response.statusCode)
        throw PipecatError::serverError(QStringLiteral("Invalid response"));
    if (*response.statusCode != 200)
        throw PipecatError::serverError(QStringLiteral("Server returned %1: %2")
                                            .arg(*response.statusCode)
                                            .arg(Excerpt::of(serverErrorBody(response.body))));
    co_return OfferResponse::decode(response.body);
}

void VoiceChatService::handleICECandidate(const QString &sdp, const std::optional<QString> &sdpMid,
                                          int sdpMLineIndex)
{
    ICECandidateData candidate{sdp, sdpMid, sdpMLineIndex};
    if (m_pcId)
        sendICECandidate(std::move(candidate), *m_pcId, attempt.get_token());
    else
        m_pendingCandidates.append(std::move(candidate));
}

QCoro::Task<> VoiceChatService::flushPendingCandidates(std::stop_token stop)
{
    if (!m_pcId || m_pendingCandidates.isEmpty())
        co_return;
    const Lifetime::Guard guard = lifetime.guard();
    const QString pcId = *m_pcId;
    const QList<ICECandidateData> taken = std::exchange(m_pendingCandidates, {});
    for (const ICECandidateData &candidate : taken) {
        co_await sendICECandidate(candidate, pcId, stop);
        if (!guard || stop.stop_requested())
            co_return;
    }
}

QCoro::Task<> VoiceChatService::sendICECandidate(ICECandidateData candidate, QString pcId,
                                                 std::stop_token stop)
{
    const std::optional<QUrl> url = offerURL();
    if (!url)
        co_return;
    const nlohmann::ordered_json body = {
        {"pc_id", pcId.toStdString()},
        {"candidates", nlohmann::ordered_json::array(
                           {{{"candidate", candidate.sdp.toStdString()},
                             {"sdp_mid", candidate.sdpMid.value_or(QString()).toStdString()},
                             {"sdp_mline_index", candidate.sdpMLineIndex}}})}};
    try {
        const HttpResponse response = co_await HttpClient::data(
            offerRequest(*url, QByteArray::fromStdString(body.dump()), "PATCH"), stop);
        if (response.statusCode != 200)
            Log::write(QStringLiteral("[VoiceService] Failed to send ICE candidate: HTTP %1")
                           .arg(response.statusCode.value_or(0)));
    } catch (const std::exception &error) {
        // A request stopped with its attempt did not fail: nobody waits for it any more.
        if (stop.stop_requested())
            co_return;
        Log::write(QStringLiteral("[VoiceService] Error sending ICE candidate: ") +
                   QString::fromUtf8(error.what()));
    }
}

void VoiceChatService::handleConnectionStateChange(int state)
{
    Log::write(QStringLiteral("[VoiceService] Connection state: %1").arg(state));
    switch (state) {
    case 2:
        setIsConnected(true);
        setIsConnecting(false);
        setIsListening(true);
        break;
    case 3:
        setIsConnected(false);
        setIsListening(false);
        break;
    case 4:
        resetState();
        if (onError)
            onError(PipecatError::webRTCError(QStringLiteral("Connection failed")));
        break;
    case 5:
        resetState();
        break;
    default:
        break;
    }
}

void VoiceChatService::disconnect()
{
    Log::write(QStringLiteral("[VoiceService] Disconnecting..."));
    attempt.request_stop();
    if (peerConnection) {
        peerConnection->close();
        peerConnection.reset();
    }
    localAudioTrack = nullptr;
    delegateWrapper.reset();
    m_pcId.reset();
    m_pendingCandidates.clear();
    resetState();
    Log::write(QStringLiteral("[VoiceService] Disconnected"));
}

void VoiceChatService::startListening()
{
    if (!m_isConnected)
        throw PipecatError::notConnected();
    if (m_isListening)
        return;
    if (localAudioTrack != nullptr)
        localAudioTrack->setEnabled(true);
    setIsListening(true);
    Log::write(QStringLiteral("[VoiceService] Microphone enabled"));
}

void VoiceChatService::stopListening()
{
    if (!m_isListening)
        return;
    if (localAudioTrack != nullptr)
        localAudioTrack->setEnabled(false);
    setIsListening(false);
    Log::write(QStringLiteral("[VoiceService] Microphone disabled"));
}

void VoiceChatService::handleInputAudioLevel(float level)
{
    setInputAudioLevel(AudioLevelSmoother::smooth(m_inputAudioLevel, level, levelDecayPerUpdate));
}

void VoiceChatService::handleOutputAudioLevel(float level)
{
    setOutputAudioLevel(AudioLevelSmoother::smooth(m_outputAudioLevel, level, levelDecayPerUpdate));
    if (level > speakingThreshold) {
        speakingOffDelay.stop();
        setIsSpeaking(true);
    } else if (m_isSpeaking && !speakingOffDelay.isActive()) {
        speakingOffDelay.start();
    }
}

void VoiceChatService::handleAudioCaptureFailure()
{
    disconnect();
    if (onError)
        onError(microphoneRequired());
}

void VoiceChatService::resetState()
{
    speakingOffDelay.stop();
    setIsConnected(false);
    setIsConnecting(false);
    setIsListening(false);
    setIsSpeaking(false);
    setInputAudioLevel(0);
    setOutputAudioLevel(0);
}

void VoiceChatService::setIsConnected(bool value)
{
    if (std::exchange(m_isConnected, value) != value)
        emit isConnectedChanged();
}

void VoiceChatService::setIsConnecting(bool value)
{
    if (std::exchange(m_isConnecting, value) != value)
        emit isConnectingChanged();
}

void VoiceChatService::setIsListening(bool value)
{
    if (std::exchange(m_isListening, value) != value)
        emit isListeningChanged();
}

void VoiceChatService::setIsSpeaking(bool value)
{
    if (std::exchange(m_isSpeaking, value) != value)
        emit isSpeakingChanged();
}

void VoiceChatService::setInputAudioLevel(float value)
{
    if (std::exchange(m_inputAudioLevel, value) != value)
        emit inputAudioLevelChanged();
}

void VoiceChatService::setOutputAudioLevel(float value)
{
    if (std::exchange(m_outputAudioLevel, value) != value)
        emit outputAudioLevelChanged();
}
