#pragma once

#include "common/GstRef.h"
#include "voice/SpeechEcho.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <gst/app/app.h>
#include <mutex>
#include <optional>
#include <string>

class VoiceOffer;

// One caller's peer connection: a webrtcbin that answers the caller's offer on 127.0.0.1, hears
// the caller's voice and sends it back through a SpeechEcho. The pipeline runs from
// construction to destruction; GStreamer's threads only record what happened, so no webrtcbin
// callback ever changes the pipeline's state.
class EchoPeer
{
public:
    using Moment = std::chrono::steady_clock::time_point;

    // Initialises GStreamer once per process; anything that makes caps must come after it.
    static void startEngine();

    // Builds the pipeline for the offer and starts it. `changed` is called on a GStreamer thread
    // whenever the connection state changes; it must return quickly. Throws ApiError.
    EchoPeer(const std::string &name, const VoiceOffer &offer, std::function<void()> changed);
    // Stops the pipeline; no callback runs once this returns. Never call it on a GStreamer thread.
    ~EchoPeer();
    EchoPeer(const EchoPeer &) = delete;
    EchoPeer &operator=(const EchoPeer &) = delete;

    // Applies the offer and answers it. The caller gets no candidates of ours later, so this
    // waits until gathering completes (or `gathering` passes) and answers with the candidates in
    // the SDP. Blocks; throws ApiError when webrtcbin refuses the offer.
    std::string answer(const VoiceOffer &offer, std::chrono::milliseconds gathering);
    // A candidate of the caller's, as a "candidate:" attribute with or without "a=".
    void addCandidate(unsigned mlineIndex, const std::string &candidate);

    GstWebRTCPeerConnectionState connectionState() const { return state; }
    // When the connection state last changed.
    Moment stateSince() const { return Moment(Moment::duration(stateChangedAt.load())); }
    // When the caller's audio last arrived, or when the session started.
    Moment lastHeard() const { return Moment(Moment::duration(heardAt.load())); }

private:
    void build(const std::string &name, unsigned opusPayload);
    void stop();
    void keepToLoopback();
    void addOtherMedia(const VoiceOffer &offer);
    void listen();
    GstRef<GstPromise> perform(const char *action, gpointer argument);
    void waitForCandidates(std::chrono::milliseconds limit);
    std::string localDescription() const;
    void receive(GstPad *pad);

    static void onPadAdded(GstElement *webrtc, GstPad *pad, gpointer peer);
    static void onConnectionState(GstElement *webrtc, GParamSpec *, gpointer peer);
    static void onGatheringState(GstElement *webrtc, GParamSpec *, gpointer peer);
    static void onLocalCandidate(GstElement *webrtc, guint mlineIndex, gchar *candidate,
                                 gpointer peer);
    static void onNeedData(GstAppSrc *source, guint, gpointer peer);
    static GstFlowReturn onSample(GstAppSink *sink, gpointer peer);

    std::function<void()> changed;
    GstRef<GstElement> pipeline;
    GstRef<GstElement> webrtc;

    std::mutex mutex;
    std::condition_variable gatheringDone;
    bool gathered = false;
    // Host candidates come together; once one is there, the rest follow within moments.
    std::optional<std::chrono::steady_clock::time_point> firstCandidateAt;
    SpeechEcho echo;

    std::uint64_t framesSent = 0;
    std::atomic<GstWebRTCPeerConnectionState> state{GST_WEBRTC_PEER_CONNECTION_STATE_NEW};
    std::atomic<Moment::rep> stateChangedAt;
    std::atomic<Moment::rep> heardAt;
};
