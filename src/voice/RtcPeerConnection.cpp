#include "voice/RtcPeerConnection.h"

#include "common/GstRef.h"
#include "common/WebRtcIce.h"
#include "model/Log.h"
#include "voice/AudioLevels.h"
#include "voice/RtcAudioTrack.h"
#include "voice/RtcEngine.h"
#include "voice/RtcPeerConnectionDelegate.h"

#include <QList>
#include <atomic>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

// What the engine's threads share with the connection. Each signal handler and probe holds its
// own reference, so a callback that races with close() never reaches freed memory.
struct RtcPeerConnection::Events
{
    std::weak_ptr<RtcPeerConnectionDelegate> delegate;
    GstElement *pipeline = nullptr;
    RtcMediaDevices devices;
    std::atomic<bool> closed = false;
    // The microphone's branch, once there is one; the pipeline holds it.
    std::atomic<GstElement *> capture = nullptr;

    // The media identifier of each m-line of the local description, for the candidates.
    std::mutex midsLock;
    QStringList mids;

    std::shared_ptr<RtcPeerConnectionDelegate> lockDelegate() const
    {
        return closed ? nullptr : delegate.lock();
    }
};

namespace {

using Events = RtcPeerConnection::Events;

// Levels are reported per window of this many samples: 50 ms at 48 kHz.
constexpr int levelWindowSamples = 2400;
constexpr char rawAudioCaps[] = "audio/x-raw,format=S16LE,rate=48000,channels=1";
// Caps go into a bin description as a capsfilter: bare, the parser reads "application/x-rtp" as
// the name of an element.
constexpr char opusRtpCaps[] =
    "application/x-rtp,media=audio,encoding-name=OPUS,payload=111,clock-rate=48000";
constexpr char vp8RtpCaps[] =
    "application/x-rtp,media=video,encoding-name=VP8,payload=96,clock-rate=90000";

std::shared_ptr<Events> &eventsOf(gpointer data)
{
    return *static_cast<std::shared_ptr<Events> *>(data);
}

gpointer holdEvents(const std::shared_ptr<Events> &events)
{
    return new std::shared_ptr<Events>(events);
}

void releaseEvents(gpointer data)
{
    delete static_cast<std::shared_ptr<Events> *>(data);
}

void connectSignal(gpointer instance, const char *name, GCallback callback,
                   const std::shared_ptr<Events> &events)
{
    g_signal_connect_data(
        instance, name, callback, holdEvents(events),
        [](gpointer data, GClosure *) { releaseEvents(data); }, GConnectFlags(0));
}

int intProperty(GstElement *element, const char *name)
{
    int value = 0;
    g_object_get(element, name, &value, nullptr);
    return value;
}

QString errorText(GError *error, const char *fallback)
{
    return error != nullptr ? QString::fromUtf8(error->message) : QString::fromUtf8(fallback);
}

// The peer connection's engine-side reason, or none when the promise was answered well.
std::optional<QString> promiseError(GstPromise *promise)
{
    if (gst_promise_wait(promise) != GST_PROMISE_RESULT_REPLIED)
        return QStringLiteral("The operation was interrupted");
    const GstStructure *reply = gst_promise_get_reply(promise);
    if (reply == nullptr || !gst_structure_has_field(reply, "error"))
        return std::nullopt;
    GError *error = nullptr;
    gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
    const GstRef<GError> owned(error);
    return errorText(owned.get(), "The engine refused the description");
}

template<typename Function> GstPromise *promiseCalling(Function function)
{
    auto *held = new Function(std::move(function));
    return gst_promise_new_with_change_func(
        [](GstPromise *promise, gpointer data) { (*static_cast<Function *>(data))(promise); }, held,
        [](gpointer data) { delete static_cast<Function *>(data); });
}

QStringList midsOf(const QString &sdp)
{
    QStringList mids;
    GstSDPMessage *parsed = nullptr;
    gst_sdp_message_new_from_text(sdp.toUtf8().constData(), &parsed);
    const GstRef<GstSDPMessage> message(parsed);
    if (!message)
        return mids;
    for (guint i = 0; i < gst_sdp_message_medias_len(message.get()); ++i) {
        const char *mid =
            gst_sdp_media_get_attribute_val(gst_sdp_message_get_media(message.get(), i), "mid");
        mids.append(mid != nullptr ? QString::fromUtf8(mid) : QString());
    }
    return mids;
}

// Sums what one branch carries into a level per window, on that branch's streaming thread.
struct LevelMeter
{
    std::shared_ptr<Events> events;
    RtcPeerConnectionDelegate::AudioDirection direction;
    float windowLevel = 0;
    int windowSamples = 0;

    void measure(std::span<const std::byte> pcm)
    {
        windowLevel = std::max(windowLevel, AudioLevelCalculator::calculateLevel(pcm, 1.0f));
        windowSamples += int(AudioBufferHelper::sampleCountFromInt16Data(pcm));
        if (windowSamples < levelWindowSamples)
            return;
        if (const auto delegate = events->lockDelegate())
            delegate->didMeasureAudioLevel(direction, windowLevel);
        windowLevel = 0;
        windowSamples = 0;
    }
};

void addLevelMeter(GstElement *bin, const char *elementName, const std::shared_ptr<Events> &events,
                   RtcPeerConnectionDelegate::AudioDirection direction)
{
    const GstRef<GstElement> element(gst_bin_get_by_name(GST_BIN(bin), elementName));
    const GstRef<GstPad> pad(gst_element_get_static_pad(element.get(), "src"));
    gst_pad_add_probe(
        pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad *, GstPadProbeInfo *info, gpointer data) {
            GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                static_cast<LevelMeter *>(data)->measure(
                    std::as_bytes(std::span(map.data, map.size)));
                gst_buffer_unmap(buffer, &map);
            }
            return GST_PAD_PROBE_OK;
        },
        new LevelMeter{events, direction},
        [](gpointer data) { delete static_cast<LevelMeter *>(data); });
}

GstElement *parseBin(const QString &description)
{
    GError *error = nullptr;
    GstElement *bin =
        gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    if (error != nullptr)
        Log::write(QStringLiteral("[VoiceService] Audio pipeline error: ") +
                   QString::fromUtf8(error->message));
    g_clear_error(&error);
    return bin;
}

// A track of the far end: Opus audio to the speaker through a level meter, anything else into a
// sink that drops it; a track nobody takes would stall the whole session.
QString remoteBranchFor(const GstCaps *caps, const RtcMediaDevices &devices, RtcMediaKind *kind)
{
    const GstStructure *structure = gst_caps_get_structure(caps, 0);
    const char *media = gst_structure_get_string(structure, "media");
    const char *encoding = gst_structure_get_string(structure, "encoding-name");
    *kind = g_strcmp0(media, "audio") == 0 ? RtcMediaKind::audio : RtcMediaKind::video;
    if (*kind == RtcMediaKind::audio && g_ascii_strcasecmp(encoding ? encoding : "", "OPUS") == 0)
        return QStringLiteral("queue ! rtpopusdepay ! opusdec plc=true ! audioconvert ! "
                              "audioresample ! capsfilter caps=\"%1\" ! identity name=meter ! %2")
            .arg(QString::fromLatin1(rawAudioCaps), devices.audioSink);
    return QStringLiteral("queue ! fakesink sync=false async=false");
}

void onPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    const std::shared_ptr<Events> &events = eventsOf(data);
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC || events->closed)
        return;
    GstRef<GstCaps> caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    RtcMediaKind kind = RtcMediaKind::video;
    const QString description = remoteBranchFor(caps.get(), events->devices, &kind);
    GstElement *branch = parseBin(description);
    if (branch == nullptr)
        return;
    if (description.contains(QLatin1String("name=meter")))
        addLevelMeter(branch, "meter", events, RtcPeerConnectionDelegate::AudioDirection::remote);
    gst_bin_add(GST_BIN(events->pipeline), branch);
    gst_element_sync_state_with_parent(branch);
    const GstRef<GstPad> sink(gst_element_get_static_pad(branch, "sink"));
    gst_pad_link(pad, sink.get());
    if (const auto delegate = events->lockDelegate())
        delegate->didAddReceiver(kind);
}

void onIceCandidate(GstElement *, guint mLineIndex, gchar *candidate, gpointer data)
{
    const std::shared_ptr<Events> &events = eventsOf(data);
    RtcIceCandidate found{QString::fromUtf8(candidate), std::nullopt, int(mLineIndex)};
    {
        const std::lock_guard lock(events->midsLock);
        if (mLineIndex < guint(events->mids.size()) && !events->mids[mLineIndex].isEmpty())
            found.sdpMid = events->mids[mLineIndex];
    }
    if (const auto delegate = events->lockDelegate())
        delegate->didGenerateCandidate(found);
}

void onNegotiationNeeded(GstElement *, gpointer data)
{
    if (const auto delegate = eventsOf(data)->lockDelegate())
        delegate->shouldNegotiate();
}

void onDataChannel(GstElement *, GObject *, gpointer data)
{
    if (const auto delegate = eventsOf(data)->lockDelegate())
        delegate->didOpenDataChannel();
}

void onStateNotify(GstElement *webrtc, GParamSpec *property, gpointer data)
{
    const auto delegate = eventsOf(data)->lockDelegate();
    if (!delegate)
        return;
    const char *name = g_param_spec_get_name(property);
    const int state = intProperty(webrtc, name);
    if (g_strcmp0(name, "connection-state") == 0)
        delegate->didChangeConnectionState(state);
    else if (g_strcmp0(name, "ice-connection-state") == 0)
        delegate->didChangeIceConnectionState(state);
    else if (g_strcmp0(name, "ice-gathering-state") == 0)
        delegate->didChangeIceGatheringState(state);
    else if (g_strcmp0(name, "signaling-state") == 0)
        delegate->didChangeSignalingState(state);
}

// Nobody reads the bus: every message is dropped instead of piling up for the length of the
// call, but what went wrong is said, and a failure of the microphone's branch ends the session.
// autoaudiosrc's silent stand-in is such a failure too: the device went away after the check.
GstBusSyncReply onBusMessage(GstBus *, GstMessage *message, gpointer data)
{
    // A dropped message is the handler's to release; kept, it would keep its element and so the
    // whole pipeline alive.
    const GstRef<GstMessage> dropped(message);
    const bool isError = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    if (isError || RtcEngine::isStandInWarning(message)) {
        GError *error = nullptr;
        if (isError)
            gst_message_parse_error(message, &error, nullptr);
        else
            gst_message_parse_warning(message, &error, nullptr);
        Log::write(QStringLiteral("[VoiceService] Audio pipeline error: ") +
                   errorText(error, "unknown"));
        g_clear_error(&error);
        const std::shared_ptr<Events> &events = eventsOf(data);
        GstElement *capture = events->capture;
        GstObject *origin = GST_MESSAGE_SRC(message);
        if (capture != nullptr && origin != nullptr &&
            gst_object_has_as_ancestor(origin, GST_OBJECT(capture))) {
            if (const auto delegate = events->lockDelegate())
                delegate->didFailAudioCapture();
        }
    }
    return GST_BUS_DROP;
}

// webrtcbin takes one STUN server, written "stun://host:port".
void useFirstStunServer(GstElement *webrtc, const QStringList &iceServers)
{
    if (iceServers.isEmpty())
        return;
    QString server = iceServers.first();
    if (server.startsWith(QLatin1String("stun:")) && !server.startsWith(QLatin1String("stun://")))
        server.insert(5, QLatin1String("//"));
    g_object_set(webrtc, "stun-server", server.toUtf8().constData(), nullptr);
    for (qsizetype i = 1; i < iceServers.size(); ++i)
        Log::write(QStringLiteral("[VoiceService] Only one STUN server is used; not using ") +
                   iceServers[i]);
}

void configureIceAgent(GstElement *webrtc, const QStringList &addresses)
{
    const auto agent = WebRtcIce::niceAgentOf(webrtc);
    if (!agent)
        return;
    WebRtcIce::keepAliveChecks(agent.get());
    // Five retransmissions (6 s) instead of seven (25 s) shorten the wait for a vanished peer and
    // still ride out a lossy network.
    g_object_set(agent.get(), "stun-max-retransmissions", 5u, nullptr);
    // An address that does not read as one is left out; the others are still offered.
    std::vector<std::string> local;
    for (const QString &address : addresses)
        local.push_back(address.toStdString());
    WebRtcIce::restrictToAddresses(agent.get(), local);
}

GstWebRTCRTPTransceiverDirection engineDirection(RtcTransceiverDirection direction)
{
    switch (direction) {
    case RtcTransceiverDirection::sendRecv:
        return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDRECV;
    case RtcTransceiverDirection::sendOnly:
        return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY;
    case RtcTransceiverDirection::recvOnly:
        return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY;
    case RtcTransceiverDirection::inactive:
        return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE;
    }
    return GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE;
}

} // namespace

std::unique_ptr<RtcPeerConnection>
RtcPeerConnection::create(const RtcConfiguration &configuration, const RtcMediaDevices &devices,
                          std::weak_ptr<RtcPeerConnectionDelegate> delegate)
{
    if (!RtcEngine::initializeSSL())
        return nullptr;
    GstElement *webrtc = gst_element_factory_make("webrtcbin", "webrtc");
    if (webrtc == nullptr)
        return nullptr;
    GstElement *pipeline = gst_pipeline_new("voice");
    gst_bin_add(GST_BIN(pipeline), webrtc);
    // The answer of a voice agent bundles all media on one transport; other policies make
    // webrtcbin refuse it.
    gst_util_set_object_arg(G_OBJECT(webrtc), "bundle-policy", "max-bundle");
    useFirstStunServer(webrtc, configuration.iceServers);
    configureIceAgent(webrtc, devices.iceAddresses);

    auto events = std::make_shared<Events>();
    events->delegate = std::move(delegate);
    events->pipeline = pipeline;
    events->devices = devices;
    const GstRef<GstBus> bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline)));
    gst_bus_set_sync_handler(bus.get(), onBusMessage, holdEvents(events), releaseEvents);
    connectSignal(webrtc, "on-negotiation-needed", G_CALLBACK(onNegotiationNeeded), events);
    connectSignal(webrtc, "on-ice-candidate", G_CALLBACK(onIceCandidate), events);
    connectSignal(webrtc, "on-data-channel", G_CALLBACK(onDataChannel), events);
    connectSignal(webrtc, "pad-added", G_CALLBACK(onPadAdded), events);
    for (const char *state : {"notify::connection-state", "notify::ice-connection-state",
                              "notify::ice-gathering-state", "notify::signaling-state"})
        connectSignal(webrtc, state, G_CALLBACK(onStateNotify), events);
    return std::unique_ptr<RtcPeerConnection>(
        new RtcPeerConnection(pipeline, webrtc, std::move(events)));
}

RtcPeerConnection::RtcPeerConnection(GstElement *pipelineElement, GstElement *webrtcElement,
                                     std::shared_ptr<Events> shared)
    : pipeline(GST_ELEMENT(gst_object_ref_sink(pipelineElement)))
    , webrtc(webrtcElement)
    , events(std::move(shared))
{}

RtcPeerConnection::~RtcPeerConnection()
{
    close();
    audioTrack.reset();
    if (audioSinkPad != nullptr)
        gst_object_unref(audioSinkPad);
    gst_object_unref(pipeline);
}

void RtcPeerConnection::addTransceiver(RtcMediaKind kind, RtcTransceiverDirection direction)
{
    if (kind == RtcMediaKind::audio) {
        // The microphone's pad makes the audio transceiver; it is linked by addAudioTrack().
        if (audioSinkPad == nullptr)
            audioSinkPad = gst_element_request_pad_simple(webrtc, "sink_%u");
        GstWebRTCRTPTransceiver *transceiver = nullptr;
        g_object_get(audioSinkPad, "transceiver", &transceiver, nullptr);
        const GstRef<GstWebRTCRTPTransceiver> owned(transceiver);
        const GstRef<GstCaps> caps(gst_caps_from_string(opusRtpCaps));
        g_object_set(transceiver, "direction", engineDirection(direction), "codec-preferences",
                     caps.get(), nullptr);
        return;
    }
    // Without codec caps a receive-only transceiver makes webrtcbin ask for negotiation forever.
    const GstRef<GstCaps> caps(gst_caps_from_string(vp8RtpCaps));
    GstWebRTCRTPTransceiver *transceiver = nullptr;
    g_signal_emit_by_name(webrtc, "add-transceiver", engineDirection(direction), caps.get(),
                          &transceiver);
    const GstRef<GstWebRTCRTPTransceiver> owned(transceiver);
}

RtcAudioTrack *RtcPeerConnection::addAudioTrack(const QString &trackId,
                                                const QStringList &streamIds)
{
    if (audioSinkPad == nullptr)
        addTransceiver(RtcMediaKind::audio, RtcTransceiverDirection::sendRecv);
    GstElement *branch = parseBin(
        QStringLiteral(
            "%1 ! audioconvert ! audioresample ! capsfilter caps=\"%2\" ! volume name=mute ! "
            "opusenc ! rtpopuspay pt=111 ! capsfilter caps=\"%3\"")
            .arg(events->devices.audioSource, QString::fromLatin1(rawAudioCaps),
                 QString::fromLatin1(opusRtpCaps)));
    if (branch == nullptr)
        return nullptr;
    addLevelMeter(branch, "mute", events, RtcPeerConnectionDelegate::AudioDirection::local);
    gst_bin_add(GST_BIN(pipeline), branch);
    events->capture = branch;
    const GstRef<GstPad> source(gst_element_get_static_pad(branch, "src"));
    const bool linked = gst_pad_link(source.get(), audioSinkPad) == GST_PAD_LINK_OK;
    if (!linked)
        return nullptr;
    if (!streamIds.isEmpty() &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(audioSinkPad), "msid") != nullptr)
        g_object_set(audioSinkPad, "msid", streamIds.first().toUtf8().constData(), nullptr);
    const GstRef<GstElement> volume(gst_bin_get_by_name(GST_BIN(branch), "mute"));
    audioTrack = std::make_unique<RtcAudioTrack>(trackId, volume.get());
    return audioTrack.get();
}

void RtcPeerConnection::start()
{
    if (started)
        return;
    started = true;
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

void RtcPeerConnection::offer(OfferCompletion completion)
{
    start();
    auto whenCreated = [completion = std::move(completion)](GstPromise *done) {
        if (const auto error = promiseError(done)) {
            completion(std::nullopt, error);
            return;
        }
        GstWebRTCSessionDescription *offer = nullptr;
        gst_structure_get(gst_promise_get_reply(done), "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION,
                          &offer, nullptr);
        const GstRef<GstWebRTCSessionDescription> owned(offer);
        if (!owned) {
            completion(std::nullopt, std::nullopt);
            return;
        }
        const GstRef<gchar> text(gst_sdp_message_as_text(owned->sdp));
        const RtcSessionDescription description{RtcSessionDescription::Type::offer,
                                                QString::fromUtf8(text.get())};
        completion(description, std::nullopt);
    };
    const GstRef<GstPromise> promise(promiseCalling(std::move(whenCreated)));
    g_signal_emit_by_name(webrtc, "create-offer", nullptr, promise.get());
}

void RtcPeerConnection::setLocalDescription(const RtcSessionDescription &description,
                                            Completion completion)
{
    {
        const std::lock_guard lock(events->midsLock);
        events->mids = midsOf(description.sdp);
    }
    setDescription("set-local-description", description, std::move(completion));
}

void RtcPeerConnection::setRemoteDescription(const RtcSessionDescription &description,
                                             Completion completion)
{
    setDescription("set-remote-description", description, std::move(completion));
}

void RtcPeerConnection::setDescription(const char *signal, const RtcSessionDescription &description,
                                       Completion completion)
{
    const QByteArray text = description.sdp.toUtf8();
    GstSDPMessage *parsed = nullptr;
    gst_sdp_message_new(&parsed);
    GstRef<GstSDPMessage> sdp(parsed);
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8 *>(text.constData()),
                                     guint(text.size()), sdp.get()) != GST_SDP_OK ||
        gst_sdp_message_medias_len(sdp.get()) == 0) {
        completion(QStringLiteral("The session description could not be read"));
        return;
    }
    start();
    // The description takes the message over.
    const GstRef<GstWebRTCSessionDescription> engineDescription(gst_webrtc_session_description_new(
        description.type == RtcSessionDescription::Type::offer ? GST_WEBRTC_SDP_TYPE_OFFER
                                                               : GST_WEBRTC_SDP_TYPE_ANSWER,
        sdp.release()));
    const GstRef<GstPromise> promise(
        promiseCalling([completion = std::move(completion)](GstPromise *done) {
            completion(promiseError(done));
        }));
    g_signal_emit_by_name(webrtc, signal, engineDescription.get(), promise.get());
}

void RtcPeerConnection::close()
{
    if (events->closed.exchange(true))
        return;
    gst_element_set_state(pipeline, GST_STATE_NULL);
}
