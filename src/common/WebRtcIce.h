#pragma once

#include "common/GstRef.h"

#include <span>
#include <string>

// The ICE set-up every webrtcbin of ours shares, the client's and the local backend's: webrtcbin
// gathers through libnice, whose agent is reached and tuned here.
namespace WebRtcIce {

// webrtcbin's ICE object; none when webrtcbin has none.
GstRef<GstWebRTCICE> iceOf(GstElement *webrtc);

// libnice's agent under webrtcbin's ICE object; none when that object is not libnice's.
GstRef<NiceAgent> niceAgentOf(GstElement *webrtc);

// Without keepalive checks a peer that vanishes without a word leaves the connection
// "connected" for minutes; with them the agent notices at the next keepalive and the connection
// goes to failed.
void keepAliveChecks(NiceAgent *agent);

// The agent never offers loopback on its own; given addresses, it offers only those. Each
// address that reads as one is given; false when any was not read or not taken.
bool restrictToAddresses(NiceAgent *agent, std::span<const std::string> addresses);

} // namespace WebRtcIce
