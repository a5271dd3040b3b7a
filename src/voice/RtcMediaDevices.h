#pragma once

#include <QString>

// Where the voice path's audio comes from and goes to, as GStreamer bin descriptions. The
// defaults are the desktop's microphone and speaker; tests use a tone and a sink that discards.
struct RtcMediaDevices
{
    QString audioSource = QStringLiteral("autoaudiosrc");
    QString audioSink = QStringLiteral("autoaudiosink");
};
