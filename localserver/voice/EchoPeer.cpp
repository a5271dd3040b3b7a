#include "voice/EchoPeer.h"

#include "common/WebRtcIce.h"
#include "http/ApiError.h"
#include "http/RequestLog.h"
#include "voice/VoiceOffer.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr auto frameDuration = std::chrono::milliseconds(20);
constexpr std::size_t frameSamples = SpeechEcho::sampleRate / 50;

// Sent audio is timed by clocksync: appsrc asks for the next frame as soon as the last one left,
// and clocksync holds each frame until its moment comes, so the track runs at real time.
constexpr char sendingPipeline[] =
    "webrtcbin name=webrtc bundle-policy=max-bundle "
    "appsrc name=mouth is-live=true format=time "
    "caps=audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=1 "
    "! clocksync ! opusenc ! rtpopuspay pt=%u "
    "! application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,payload=%u "
    "! webrtc.sink_0";

constexpr char hearingBranch[] =
    "rtpopusdepay ! opusdec plc=true ! audioconvert ! audioresample "
    "! audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=1 "
    "! appsink name=ear sync=false max-buffers=50 drop=true";

// Media we were offered but do not take part in still needs a sink, or webrtcbin's stream stops.
constexpr char ignoringBranch[] = "fakesink sync=false async=false";

[[noreturn]] void engineFailure(const std::string &what)
{
    RequestLog::write(std::string(RequestLog::tag) + "Voice engine: " + what);
    throw ApiError(500, "voice_unavailable", "The voice engine could not start a session");
}

EchoPeer::Moment::rep now()
{
    return EchoPeer::Moment::clock::now().time_since_epoch().count();
}

std::string messageOf(GError *error)
{
    const GstRef<GError> owned(error);
    return owned ? owned->message : "unknown error";
}

GstRef<GstElement> launch(const std::string &description)
{
    GError *error = nullptr;
    auto *floating = gst_parse_launch(description.c_str(), &error);
    // The pipeline comes floating; sinking it makes ours the one plain reference.
    GstRef<GstElement> element(floating ? GST_ELEMENT(gst_object_ref_sink(floating)) : nullptr);
    if (error != nullptr || !element)
        engineFailure(messageOf(error));
    return element;
}

// Nothing reads the bus, so messages are dropped as they come; errors are worth a log line. A
// dropped message is the handler's to release, and a kept one would keep its sender (and so the
// whole pipeline) alive.
GstBusSyncReply onBusMessage(GstBus *, GstMessage *message, gpointer name)
{
    const GstRef<GstMessage> dropped(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError *error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        RequestLog::write(std::string(RequestLog::tag) + "Voice session " +
                          static_cast<const char *>(name) + ": " + messageOf(error));
    }
    return GST_BUS_DROP;
}

bool isAudio(GstPad *pad)
{
    GstRef<GstCaps> caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()))
        return false;
    const auto *media = gst_structure_get_string(gst_caps_get_structure(caps.get(), 0), "media");
    return g_strcmp0(media, "audio") == 0;
}

// webrtcbin takes "candidate:..." with or without the attribute's "a="; engines that send the
// bare candidate text get the prefix added.
std::string candidateAttribute(const std::string &candidate)
{
    const auto text = candidate.starts_with("a=") ? candidate.substr(2) : candidate;
    return text.starts_with("candidate:") ? text : "candidate:" + text;
}

} // namespace

void EchoPeer::startEngine()
{
    static std::once_flag started;
    std::call_once(started, [] { gst_init(nullptr, nullptr); });
}

EchoPeer::EchoPeer(const std::string &name, const VoiceOffer &offer, std::function<void()> changed_)
    : changed(std::move(changed_))
    , stateChangedAt(now())
    , heardAt(now())
{
    startEngine();
    build(name, offer.opusPayload());
    try {
        keepToLoopback();
        addOtherMedia(offer);
        listen();
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            engineFailure("the pipeline of " + name + " does not start");
    } catch (...) {
        stop();
        throw;
    }
}

EchoPeer::~EchoPeer()
{
    stop();
}

void EchoPeer::stop()
{
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    // Stopped, webrtcbin runs no more tasks and the streaming threads are gone; the handlers go
    // too, in case something outlives the pipeline and holds webrtcbin a little longer.
    g_signal_handlers_disconnect_by_data(webrtc.get(), this);
}

void EchoPeer::build(const std::string &name, unsigned opusPayload)
{
    const GstRef<gchar> description(g_strdup_printf(sendingPipeline, opusPayload, opusPayload));
    pipeline = launch(description.get());
    gst_object_set_name(GST_OBJECT(pipeline.get()), name.c_str());
    webrtc.reset(gst_bin_get_by_name(GST_BIN(pipeline.get()), "webrtc"));

    const GstRef<GstBus> bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), onBusMessage, g_strdup(name.c_str()), g_free);

    const GstRef<GstElement> mouth(gst_bin_get_by_name(GST_BIN(pipeline.get()), "mouth"));
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = onNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(mouth.get()), &callbacks, this, nullptr);
}

// The server answers on 127.0.0.1 only, as its HTTP side does. libnice leaves loopback out when it
// picks addresses itself, so it is named explicitly. Keepalive connectivity checks make a caller
// that vanished without a word show up as a failed connection.
void EchoPeer::keepToLoopback()
{
    const auto ice = WebRtcIce::iceOf(webrtc.get());
    g_object_set(ice.get(), "ice-tcp", FALSE, nullptr);

    const auto agent = WebRtcIce::niceAgentOf(webrtc.get());
    const std::string loopback[] = {"127.0.0.1"};
    if (!agent || !WebRtcIce::restrictToAddresses(agent.get(), loopback))
        engineFailure("the ICE agent does not take 127.0.0.1");
    WebRtcIce::keepAliveChecks(agent.get());
}

// Each m-line other than the voice one gets a receive-only transceiver of its own codec: an
// offer that only wants to receive there (the caller's video) is answered inactive, with the
// codec still named, as both webrtcbin and aiortc expect of an answer.
void EchoPeer::addOtherMedia(const VoiceOffer &offer)
{
    for (const auto &caps : offer.otherMedia()) {
        GstWebRTCRTPTransceiver *transceiver = nullptr;
        g_signal_emit_by_name(webrtc.get(), "add-transceiver",
                              GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY, caps.get(),
                              &transceiver);
        const GstRef<GstWebRTCRTPTransceiver> owned(transceiver);
    }
}

void EchoPeer::listen()
{
    g_signal_connect(webrtc.get(), "pad-added", G_CALLBACK(onPadAdded), this);
    g_signal_connect(webrtc.get(), "notify::connection-state", G_CALLBACK(onConnectionState), this);
    g_signal_connect(webrtc.get(), "notify::ice-gathering-state", G_CALLBACK(onGatheringState),
                     this);
    g_signal_connect(webrtc.get(), "on-ice-candidate", G_CALLBACK(onLocalCandidate), this);
}

std::string EchoPeer::answer(const VoiceOffer &offer, std::chrono::milliseconds gathering)
{
    perform("set-remote-description", offer.description());
    const auto created = perform("create-answer", nullptr);
    GstWebRTCSessionDescription *description = nullptr;
    if (const auto *reply = gst_promise_get_reply(created.get()))
        gst_structure_get(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description,
                          nullptr);
    const GstRef<GstWebRTCSessionDescription> ours(description);
    if (!ours)
        throw ApiError(400, "invalid_offer", "The offer cannot be answered");
    perform("set-local-description", ours.get());
    waitForCandidates(gathering);
    return localDescription();
}

// Runs one webrtcbin action that replies through a promise; a refusal becomes a 400.
GstRef<GstPromise> EchoPeer::perform(const char *action, gpointer argument)
{
    GstRef<GstPromise> promise(gst_promise_new());
    g_signal_emit_by_name(webrtc.get(), action, argument, promise.get());
    if (gst_promise_wait(promise.get()) != GST_PROMISE_RESULT_REPLIED)
        throw ApiError(400, "invalid_offer", std::string("The offer was dropped at ") + action);
    const auto *reply = gst_promise_get_reply(promise.get());
    if (reply != nullptr && gst_structure_has_field(reply, "error")) {
        GError *error = nullptr;
        gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
        throw ApiError(400, "invalid_offer", "The offer cannot be answered: " + messageOf(error));
    }
    return promise;
}

// The answer carries the candidates, so it waits for them: until gathering completes, which
// libnice reports late, or shortly after the first one, which is when the host candidates are in.
void EchoPeer::waitForCandidates(std::chrono::milliseconds limit)
{
    constexpr std::chrono::milliseconds settle{20};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(mutex);
    while (!gathered && std::chrono::steady_clock::now() < deadline) {
        if (firstCandidateAt && std::chrono::steady_clock::now() >= *firstCandidateAt + settle)
            return;
        const auto wake =
            firstCandidateAt ? std::min(deadline, *firstCandidateAt + settle) : deadline;
        gatheringDone.wait_until(lock, wake);
    }
}

std::string EchoPeer::localDescription() const
{
    GstWebRTCSessionDescription *description = nullptr;
    g_object_get(webrtc.get(), "local-description", &description, nullptr);
    const GstRef<GstWebRTCSessionDescription> owned(description);
    if (!owned)
        engineFailure("no local description after answering");
    const GstRef<gchar> text(gst_sdp_message_as_text(owned->sdp));
    return text.get();
}

void EchoPeer::addCandidate(unsigned mlineIndex, const std::string &candidate)
{
    const auto attribute = candidateAttribute(candidate);
    g_signal_emit_by_name(webrtc.get(), "add-ice-candidate", mlineIndex, attribute.c_str());
}

// Runs on a streaming thread: adding and linking a branch is allowed there, changing the
// pipeline's own state is not (and is not needed: the branch follows its parent).
void EchoPeer::receive(GstPad *pad)
{
    const bool audio = isAudio(pad);
    GError *error = nullptr;
    auto *branch =
        gst_parse_bin_from_description(audio ? hearingBranch : ignoringBranch, TRUE, &error);
    if (error != nullptr || branch == nullptr) {
        RequestLog::write(std::string(RequestLog::tag) + "Voice engine: " + messageOf(error));
        return;
    }
    gst_bin_add(GST_BIN(pipeline.get()), branch);
    if (audio) {
        const GstRef<GstElement> ear(gst_bin_get_by_name(GST_BIN(branch), "ear"));
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(ear.get()), &callbacks, this, nullptr);
    }
    gst_element_sync_state_with_parent(branch);
    const GstRef<GstPad> input(gst_element_get_static_pad(branch, "sink"));
    gst_pad_link(pad, input.get());
}

void EchoPeer::onPadAdded(GstElement *, GstPad *pad, gpointer peer)
{
    if (GST_PAD_DIRECTION(pad) == GST_PAD_SRC)
        static_cast<EchoPeer *>(peer)->receive(pad);
}

void EchoPeer::onConnectionState(GstElement *webrtc, GParamSpec *, gpointer peer)
{
    auto *self = static_cast<EchoPeer *>(peer);
    GstWebRTCPeerConnectionState current = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "connection-state", &current, nullptr);
    self->state = current;
    self->stateChangedAt = now();
    self->changed();
}

void EchoPeer::onLocalCandidate(GstElement *, guint, gchar *, gpointer peer)
{
    auto *self = static_cast<EchoPeer *>(peer);
    const std::lock_guard lock(self->mutex);
    if (!self->firstCandidateAt)
        self->firstCandidateAt = std::chrono::steady_clock::now();
    self->gatheringDone.notify_all();
}

void EchoPeer::onGatheringState(GstElement *webrtc, GParamSpec *, gpointer peer)
{
    auto *self = static_cast<EchoPeer *>(peer);
    GstWebRTCICEGatheringState current = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(webrtc, "ice-gathering-state", &current, nullptr);
    if (current != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
        return;
    const std::lock_guard lock(self->mutex);
    self->gathered = true;
    self->gatheringDone.notify_all();
}

void EchoPeer::onNeedData(GstAppSrc *source, guint, gpointer peer)
{
    auto *self = static_cast<EchoPeer *>(peer);
    std::vector<std::int16_t> frame(frameSamples);
    {
        const std::lock_guard lock(self->mutex);
        self->echo.speak(frame);
    }
    const auto bytes = frame.size() * sizeof(std::int16_t);
    auto *buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, frame.data(), bytes);
    const auto step = static_cast<GstClockTime>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(frameDuration).count());
    GST_BUFFER_PTS(buffer) = self->framesSent++ * step;
    GST_BUFFER_DURATION(buffer) = step;
    gst_app_src_push_buffer(source, buffer);
}

GstFlowReturn EchoPeer::onSample(GstAppSink *sink, gpointer peer)
{
    auto *self = static_cast<EchoPeer *>(peer);
    const GstRef<GstSample> sample(gst_app_sink_pull_sample(sink));
    auto *buffer = sample ? gst_sample_get_buffer(sample.get()) : nullptr;
    if (buffer == nullptr)
        return GST_FLOW_OK;
    std::vector<std::int16_t> samples(gst_buffer_get_size(buffer) / sizeof(std::int16_t));
    gst_buffer_extract(buffer, 0, samples.data(), samples.size() * sizeof(std::int16_t));
    self->heardAt = now();
    const std::lock_guard lock(self->mutex);
    self->echo.hear(samples);
    return GST_FLOW_OK;
}
