#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The plain values the WebRTC engine takes and hands out.

enum class RtcMediaKind
{
    audio,
    video
};

enum class RtcTransceiverDirection
{
    sendRecv,
    sendOnly,
    recvOnly,
    inactive
};

struct RtcSessionDescription
{
    enum class Type
    {
        offer,
        answer
    };

    Type type = Type::offer;
    QString sdp;
};

struct RtcIceCandidate
{
    QString sdp;
    // None when the engine could not tell which media section the candidate belongs to.
    std::optional<QString> sdpMid;
    int sdpMLineIndex = 0;
};

struct RtcConfiguration
{
    // "stun:host:port" URLs. The engine takes one STUN server; the first is used.
    QStringList iceServers;
};
