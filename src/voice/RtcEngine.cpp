#include "voice/RtcEngine.h"

#include <gst/gst.h>
#include <mutex>

namespace RtcEngine {

bool initializeSSL()
{
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] {
        GError *error = nullptr;
        loaded = gst_init_check(nullptr, nullptr, &error);
        g_clear_error(&error);
    });
    return loaded;
}

bool canOpenAudioSource(const QString &description)
{
    if (!initializeSSL())
        return false;
    GError *error = nullptr;
    GstElement *source =
        gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    g_clear_error(&error);
    if (source == nullptr)
        return false;
    gst_object_ref_sink(source);
    // Opening happens on the way to READY; a source that cannot reach its device fails there.
    const bool opened = gst_element_set_state(source, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(source, GST_STATE_NULL);
    gst_object_unref(source);
    return opened;
}

} // namespace RtcEngine
