#pragma once

#include <QString>

typedef struct _GstElement GstElement;

// The microphone as it is sent. A disabled track keeps sending, but silence: the far end sees a
// live track, as with a browser's disabled track, and nothing is renegotiated.
class RtcAudioTrack
{
public:
    RtcAudioTrack(QString trackId, GstElement *volume);
    ~RtcAudioTrack();
    RtcAudioTrack(const RtcAudioTrack &) = delete;
    RtcAudioTrack &operator=(const RtcAudioTrack &) = delete;

    const QString &trackId() const { return m_trackId; }
    bool isEnabled() const { return enabled; }
    void setEnabled(bool isEnabled);

private:
    QString m_trackId;
    GstElement *volume;
    bool enabled = true;
};
