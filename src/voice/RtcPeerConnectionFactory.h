#pragma once

#include "voice/RtcMediaDevices.h"
#include "voice/RtcTypes.h"

#include <memory>

class RtcPeerConnection;
class RtcPeerConnectionDelegate;

// Makes peer connections whose audio uses the given devices.
class RtcPeerConnectionFactory
{
public:
    explicit RtcPeerConnectionFactory(RtcMediaDevices devices);

    // None when the engine cannot make one. The connection holds the delegate weakly.
    std::unique_ptr<RtcPeerConnection>
    peerConnection(const RtcConfiguration &configuration,
                   std::weak_ptr<RtcPeerConnectionDelegate> delegate) const;

private:
    RtcMediaDevices devices;
};
