#pragma once

#include "voice/RtcMediaDevices.h"
#include "voice/RtcTypes.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class RtcAudioTrack;
class RtcPeerConnectionDelegate;
typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

// One WebRTC peer connection: a GStreamer pipeline around webrtcbin with the microphone branch
// and, for each track the far end sends, a playback branch. Created, used and closed on the main
// thread; the delegate and the completions are called on the engine's threads.
class RtcPeerConnection
{
public:
    // Either a result or the engine's reason for failing; called exactly once.
    using OfferCompletion =
        std::function<void(std::optional<RtcSessionDescription>, std::optional<QString> error)>;
    using Completion = std::function<void(std::optional<QString> error)>;

    // None when the engine is missing a part it needs.
    static std::unique_ptr<RtcPeerConnection>
    create(const RtcConfiguration &configuration, const RtcMediaDevices &devices,
           std::weak_ptr<RtcPeerConnectionDelegate> delegate);
    ~RtcPeerConnection();
    RtcPeerConnection(const RtcPeerConnection &) = delete;
    RtcPeerConnection &operator=(const RtcPeerConnection &) = delete;

    void addTransceiver(RtcMediaKind kind, RtcTransceiverDirection direction);
    // The microphone, sent on the audio transceiver added before. None when the capture branch
    // cannot be built.
    RtcAudioTrack *addAudioTrack(const QString &trackId, const QStringList &streamIds);
    void offer(OfferCompletion completion);
    void setLocalDescription(const RtcSessionDescription &description, Completion completion);
    void setRemoteDescription(const RtcSessionDescription &description, Completion completion);
    // Stops all media and the ICE agent; no delegate call starts after this returns.
    void close();

    struct Events;

private:
    RtcPeerConnection(GstElement *pipeline, GstElement *webrtc, std::shared_ptr<Events> events);
    void setDescription(const char *signal, const RtcSessionDescription &description,
                        Completion completion);
    void start();

    GstElement *pipeline;
    GstElement *webrtc;
    std::shared_ptr<Events> events;
    GstPad *audioSinkPad = nullptr;
    std::unique_ptr<RtcAudioTrack> audioTrack;
    bool started = false;
};
