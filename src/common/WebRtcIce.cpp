#include "common/WebRtcIce.h"

#include <nice/agent.h>

namespace WebRtcIce {

GstRef<GstWebRTCICE> iceOf(GstElement *webrtc)
{
    GstWebRTCICE *ice = nullptr;
    g_object_get(webrtc, "ice-agent", &ice, nullptr);
    return GstRef<GstWebRTCICE>(ice);
}

GstRef<NiceAgent> niceAgentOf(GstElement *webrtc)
{
    const auto ice = iceOf(webrtc);
    if (!ice || g_object_class_find_property(G_OBJECT_GET_CLASS(ice.get()), "agent") == nullptr)
        return nullptr;
    NiceAgent *agent = nullptr;
    g_object_get(ice.get(), "agent", &agent, nullptr);
    return GstRef<NiceAgent>(agent);
}

void keepAliveChecks(NiceAgent *agent)
{
    g_object_set(agent, "keepalive-conncheck", TRUE, nullptr);
}

bool restrictToAddresses(NiceAgent *agent, std::span<const std::string> addresses)
{
    bool allTaken = true;
    for (const auto &address : addresses) {
        NiceAddress local;
        nice_address_init(&local);
        if (nice_address_set_from_string(&local, address.c_str()))
            allTaken = nice_agent_add_local_address(agent, &local) && allTaken;
        else
            allTaken = false;
    }
    return allTaken;
}

} // namespace WebRtcIce
