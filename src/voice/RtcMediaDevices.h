#pragma once

#include <QString>
#include <QStringList>

// What the voice path runs on: where its audio comes from and goes to, as GStreamer bin
// descriptions, and the local addresses ICE may announce. The defaults are the desktop's
// microphone and speaker and every address of the machine; tests use a tone, a sink that
// discards, and loopback only.
struct RtcMediaDevices
{
    QString audioSource = QStringLiteral("autoaudiosrc");
    QString audioSink = QStringLiteral("autoaudiosink");
    QStringList iceAddresses;
};
