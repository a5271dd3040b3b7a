#include "voice/RtcEngine.h"

#include "common/GstRef.h"

#include <gst/gst.h>
#include <mutex>

namespace RtcEngine {

namespace {

constexpr char firstBuffer[] = "first-buffer";
constexpr char stopped[] = "stopped";

// Waits for the first buffer the source sends, or for its failure or the stop, until the
// deadline.
bool firstBufferArrives(GstBus *bus, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        const GstRef<GstMessage> message(gst_bus_timed_pop_filtered(
            bus, GstClockTime(left.count()),
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING | GST_MESSAGE_APPLICATION)));
        if (!message)
            return false;
        const bool arrived = gst_message_has_name(message.get(), firstBuffer);
        const bool ended = gst_message_has_name(message.get(), stopped) ||
                           GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR ||
                           isStandInWarning(message.get());
        if (arrived || ended)
            return arrived;
    }
}

} // namespace

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

bool isStandInWarning(GstMessage *message)
{
    // A message need not name its source.
    GstObject *origin = GST_MESSAGE_SRC(message);
    const GType autoDetect = g_type_from_name("GstAutoDetect");
    return GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING && origin != nullptr &&
           autoDetect != 0 && g_type_is_a(G_OBJECT_TYPE(origin), autoDetect);
}

bool capturesAudio(const QString &description, std::chrono::milliseconds limit,
                   std::stop_token stop)
{
    if (stop.stop_requested() || !initializeSSL())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    GError *error = nullptr;
    GstElement *source =
        gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &error);
    g_clear_error(&error);
    if (source == nullptr)
        return false;
    const GstRef<GstElement> pipeline(gst_pipeline_new("microphone-check"));
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, sink, nullptr);
    bool captures = gst_element_link(source, sink);
    // The first buffer that reaches the sink says so on the bus, where the wait below reads it.
    const GstRef<GstPad> pad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_add_probe(
        pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad *probed, GstPadProbeInfo *, gpointer) {
            const GstRef<GstObject> element(gst_pad_get_parent(probed));
            gst_element_post_message(
                GST_ELEMENT(element.get()),
                gst_message_new_application(element.get(), gst_structure_new_empty(firstBuffer)));
            return GST_PAD_PROBE_REMOVE;
        },
        nullptr, nullptr);
    const GstRef<GstBus> bus(gst_pipeline_get_bus(GST_PIPELINE(pipeline.get())));
    {
        // The attempt that asked may end first: the wait ends with it, and the device is closed
        // at once instead of at the limit.
        const std::stop_callback onStop(stop, [bus = bus.get()] {
            gst_bus_post(bus,
                         gst_message_new_application(nullptr, gst_structure_new_empty(stopped)));
        });
        captures =
            captures &&
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE &&
            firstBufferArrives(bus.get(), deadline);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return captures;
}

} // namespace RtcEngine
