#include "voice/VoiceOffer.h"

#include "http/ApiError.h"

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>

namespace {

[[noreturn]] void reject(const std::string &message)
{
    throw ApiError(400, "invalid_offer", message);
}

// The payload type an "a=rtpmap" line gives the codec, matched without regard to case.
std::optional<unsigned> payloadOf(const GstSDPMedia *media, std::string_view codec)
{
    for (guint i = 0; i < gst_sdp_media_attributes_len(media); ++i) {
        const auto *attribute = gst_sdp_media_get_attribute(media, i);
        if (g_strcmp0(attribute->key, "rtpmap") != 0 || attribute->value == nullptr)
            continue;
        std::istringstream rtpmap(attribute->value);
        unsigned payload = 0;
        std::string encoding;
        if (!(rtpmap >> payload >> encoding))
            continue;
        const auto name = encoding.substr(0, encoding.find('/'));
        if (g_ascii_strcasecmp(name.c_str(), std::string(codec).c_str()) == 0)
            return payload;
    }
    return std::nullopt;
}

GstRef<GstCaps> firstCodecCaps(const GstSDPMedia *media)
{
    if (gst_sdp_media_formats_len(media) == 0)
        reject("An m-line of the offer has no formats");
    const auto payload = std::atoi(gst_sdp_media_get_format(media, 0));
    GstRef<GstCaps> caps(gst_sdp_media_get_caps_from_media(media, payload));
    if (!caps)
        reject("An m-line of the offer has no usable first format");
    auto *structure = gst_caps_get_structure(caps.get(), 0);
    gst_structure_set_name(structure, "application/x-rtp");
    gst_structure_set(structure, "media", G_TYPE_STRING, gst_sdp_media_get_media(media), nullptr);
    return caps;
}

// The message owns its media and GStreamer hands them out const only; changing one in place is
// how its own C callers edit a message.
GstSDPMedia *mediaWithMid(GstSDPMessage *sdp, std::string_view mid)
{
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const auto *media = gst_sdp_message_get_media(sdp, i);
        if (const auto *value = gst_sdp_media_get_attribute_val(media, "mid");
            value && value == mid)
            return const_cast<GstSDPMedia *>(media);
    }
    return nullptr;
}

std::string attributeOf(const GstSDPMedia *media, const char *key)
{
    const auto *value = gst_sdp_media_get_attribute_val(media, key);
    return value ? value : "";
}

void setAttribute(GstSDPMedia *media, const char *key, const char *value)
{
    for (guint i = gst_sdp_media_attributes_len(media); i-- > 0;)
        if (g_strcmp0(gst_sdp_media_get_attribute(media, i)->key, key) == 0)
            gst_sdp_media_remove_attribute(media, i);
    gst_sdp_media_add_attribute(media, key, value);
}

// Some engines (aiortc among them) give every bundled m-line ICE credentials of its own, which
// webrtcbin refuses. Once bundled, only the first m-line's transport carries media, so the others
// may take its credentials without changing what the caller does.
void shareBundleCredentials(GstSDPMessage *sdp)
{
    static constexpr std::string_view bundle = "BUNDLE ";
    const auto *group = gst_sdp_message_get_attribute_val(sdp, "group");
    if (group == nullptr || !std::string_view(group).starts_with(bundle))
        return;
    std::istringstream mids(group + bundle.size());
    std::string first;
    mids >> first;
    const auto *tagged = mediaWithMid(sdp, first);
    if (tagged == nullptr)
        return;
    const auto ufrag = attributeOf(tagged, "ice-ufrag");
    const auto pwd = attributeOf(tagged, "ice-pwd");
    if (ufrag.empty() || pwd.empty())
        return;
    for (std::string mid; mids >> mid;)
        if (auto *media = mediaWithMid(sdp, mid)) {
            setAttribute(media, "ice-ufrag", ufrag.c_str());
            setAttribute(media, "ice-pwd", pwd.c_str());
        }
}

} // namespace

VoiceOffer VoiceOffer::parse(const std::string &sdp)
{
    GstSDPMessage *parsed = nullptr;
    if (gst_sdp_message_new_from_text(sdp.c_str(), &parsed) != GST_SDP_OK)
        reject("The offer is not SDP");
    GstRef<GstSDPMessage> message(parsed);

    VoiceOffer offer;
    bool haveVoice = false;
    for (guint i = 0; i < gst_sdp_message_medias_len(message.get()); ++i) {
        const auto *media = gst_sdp_message_get_media(message.get(), i);
        const auto opus = g_strcmp0(gst_sdp_media_get_media(media), "audio") == 0
                              ? payloadOf(media, "opus")
                              : std::nullopt;
        if (opus && !haveVoice) {
            // Opus has no static payload type: RTP gives it one of the dynamic ones.
            if (*opus < 96 || *opus > 127)
                reject("Opus needs a dynamic payload type, from 96 to 127");
            offer.opus = *opus;
            haveVoice = true;
        } else {
            offer.others.push_back(firstCodecCaps(media));
        }
    }
    if (!haveVoice)
        reject("The offer has no audio m-line with Opus");
    shareBundleCredentials(message.get());
    offer.offer.reset(
        gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_OFFER, message.release()));
    return offer;
}
