#include "voice/RtcEngine.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

TEST(RtcEngine, AWarningWithoutASourceIsNoStandIn)
{
    ASSERT_TRUE(RtcEngine::initializeSSL());
    // The automatic devices are known, so a warning is checked against them.
    gst_object_unref(gst_object_ref_sink(gst_element_factory_make("autoaudiosrc", nullptr)));
    GError *error = g_error_new_literal(GST_CORE_ERROR, GST_CORE_ERROR_FAILED, "from nowhere");
    GstMessage *warning = gst_message_new_warning(nullptr, error, nullptr);
    EXPECT_FALSE(RtcEngine::isStandInWarning(warning));
    gst_message_unref(warning);
    g_error_free(error);
}
