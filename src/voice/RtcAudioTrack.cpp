#include "voice/RtcAudioTrack.h"

#include <gst/gst.h>

RtcAudioTrack::RtcAudioTrack(QString trackId, GstElement *volumeElement)
    : m_trackId(std::move(trackId))
    , volume(GST_ELEMENT(gst_object_ref(volumeElement)))
{}

RtcAudioTrack::~RtcAudioTrack()
{
    gst_object_unref(volume);
}

void RtcAudioTrack::setEnabled(bool isEnabled)
{
    enabled = isEnabled;
    g_object_set(volume, "mute", !isEnabled, nullptr);
}
