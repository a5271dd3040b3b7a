#pragma once

#include <QString>
#include <optional>

// A local ICE candidate as it is sent to the voice agent server.
struct ICECandidateData
{
    QString sdp;
    std::optional<QString> sdpMid;
    int sdpMLineIndex = 0;

    friend bool operator==(const ICECandidateData &, const ICECandidateData &) = default;
};
