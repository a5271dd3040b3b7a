#pragma once

#include <QString>
#include <chrono>
#include <stop_token>

typedef struct _GstMessage GstMessage;

// The WebRTC engine as a whole: GStreamer with webrtcbin.
namespace RtcEngine {

// Loads GStreamer and its TLS support once per process; later calls do nothing. False when
// GStreamer cannot be loaded, which fails every peer connection later.
bool initializeSSL();

// Whether the capture source described delivers sound: it plays and hands over its first buffer
// within the limit. Opening it proves nothing: autoaudiosrc falls back to a silent stand-in when
// no device works, and a sound server's source opens on its connection alone. A desktop without
// a microphone, or one whose sound server refuses us, fails here. Waits up to the limit, so it
// runs off the main thread; a stop ends the wait and releases the device at once.
bool capturesAudio(const QString &description, std::chrono::milliseconds limit,
                   std::stop_token stop);

// Whether the message is an automatic device's (autoaudiosrc, autoaudiosink) word that no device
// works and a silent stand-in takes its place: only a warning, though nothing is captured or
// played.
bool isStandInWarning(GstMessage *message);

} // namespace RtcEngine
