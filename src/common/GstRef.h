#pragma once

#include <glib.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>
#include <memory>

// libnice's agent is only ever held and released here; its header stays with those that call it.
typedef struct _NiceAgent NiceAgent;

// Releases whatever GStreamer or GLib handed over with a reference, each kind its own way.
struct GstUnref
{
    void operator()(GstObject *object) const { gst_object_unref(object); }
    void operator()(GstElement *element) const { gst_object_unref(element); }
    void operator()(GstPad *pad) const { gst_object_unref(pad); }
    void operator()(GstBus *bus) const { gst_object_unref(bus); }
    void operator()(GstCaps *caps) const { gst_caps_unref(caps); }
    void operator()(GstMessage *message) const { gst_message_unref(message); }
    void operator()(GstPromise *promise) const { gst_promise_unref(promise); }
    void operator()(GstSample *sample) const { gst_sample_unref(sample); }
    void operator()(GstWebRTCSessionDescription *description) const
    {
        gst_webrtc_session_description_free(description);
    }
    void operator()(GstWebRTCRTPTransceiver *transceiver) const { gst_object_unref(transceiver); }
    void operator()(GstWebRTCICE *ice) const { gst_object_unref(ice); }
    void operator()(NiceAgent *agent) const { g_object_unref(agent); }
    void operator()(GstSDPMessage *message) const { gst_sdp_message_free(message); }
    void operator()(GError *error) const { g_error_free(error); }
    void operator()(gchar *text) const { g_free(text); }
    void operator()(GObject *object) const { g_object_unref(object); }
};

// One owned reference, released when it goes out of scope; so no early return can leak one.
template<typename T> using GstRef = std::unique_ptr<T, GstUnref>;
