#include "voice/RtcPeerConnectionFactory.h"

#include "voice/RtcPeerConnection.h"

RtcPeerConnectionFactory::RtcPeerConnectionFactory(RtcMediaDevices mediaDevices)
    : devices(std::move(mediaDevices))
{}

std::unique_ptr<RtcPeerConnection>
RtcPeerConnectionFactory::peerConnection(const RtcConfiguration &configuration,
                                         std::weak_ptr<RtcPeerConnectionDelegate> delegate) const
{
    return RtcPeerConnection::create(configuration, devices, std::move(delegate));
}
