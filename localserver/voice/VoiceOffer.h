#pragma once

#include "common/GstRef.h"

#include <string>
#include <vector>

// A caller's SDP offer, checked and made ready for webrtcbin: it must carry an audio m-line with
// Opus, which the session answers send-and-receive; every other m-line is answered without
// media of ours.
class VoiceOffer
{
public:
    // Throws ApiError 400 when the text is no usable offer.
    static VoiceOffer parse(const std::string &sdp);

    GstWebRTCSessionDescription *description() const { return offer.get(); }
    // The payload type the caller gave Opus; what we send must use it.
    unsigned opusPayload() const { return opus; }
    // For each m-line but the voice one, in order: caps naming its first codec.
    const std::vector<GstRef<GstCaps>> &otherMedia() const { return others; }

private:
    VoiceOffer() = default;

    GstRef<GstWebRTCSessionDescription> offer;
    unsigned opus = 0;
    std::vector<GstRef<GstCaps>> others;
};
