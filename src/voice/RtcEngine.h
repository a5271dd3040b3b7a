#pragma once

#include <QString>

// The WebRTC engine as a whole: GStreamer with webrtcbin.
namespace RtcEngine {

// Loads GStreamer and its TLS support once per process; later calls do nothing. False when
// GStreamer cannot be loaded, which fails every peer connection later.
bool initializeSSL();

// Whether the capture source described can be opened now; a desktop without a microphone, or
// one whose sound server refuses us, cannot.
bool canOpenAudioSource(const QString &description);

} // namespace RtcEngine
