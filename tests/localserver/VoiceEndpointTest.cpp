#include "LocalServerFixture.h"

namespace {

class VoiceEndpointTest : public LocalServerFixture
{
protected:
    static Json offerBody()
    {
        return {{"sdp", "v=0\r\n"}, {"type", "offer"}, {"client", "vessa_mac_voice"}};
    }

    httplib::Result post(const std::string &body)
    {
        return client().Post("/api/offer", body, "application/json");
    }

    httplib::Result patch(const std::string &body)
    {
        return client().Patch("/api/offer", body, "application/json");
    }
};

TEST_F(VoiceEndpointTest, MalformedOffersAreRefused)
{
    for (const auto &[key, value] :
         std::initializer_list<std::pair<std::string, Json>>{{"sdp", ""},
                                                             {"sdp", 5},
                                                             {"type", "answer"},
                                                             {"client", nullptr},
                                                             {"workos_user_id", 7}}) {
        auto body = offerBody();
        body[key] = value;
        EXPECT_EQ(error(post(body.dump())), "400 invalid_request") << body.dump();
    }
    EXPECT_EQ(error(post("{\"sdp\":")), "400 invalid_json");
    // Parsed as SDP, but with no audio m-line carrying Opus there is nothing to answer.
    EXPECT_EQ(error(post(offerBody().dump())), "400 invalid_offer");
    // Opus takes a dynamic payload type; the engine cannot send it under any other.
    for (const auto *payload : {"55", "128", "-1"}) {
        auto body = offerBody();
        body["sdp"] = std::string("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n"
                                  "m=audio 9 UDP/TLS/RTP/SAVPF 111\r\nc=IN IP4 0.0.0.0\r\n"
                                  "a=mid:0\r\na=rtpmap:") +
                      payload + " opus/48000/2\r\n";
        EXPECT_EQ(error(post(body.dump())), "400 invalid_offer") << payload;
    }
    EXPECT_EQ(error(client().Get("/api/offer")), "405 method_not_allowed");
}

TEST_F(VoiceEndpointTest, CandidatesNeedAWellFormedBodyAndAKnownSession)
{
    const Json candidate{{"candidate", "candidate:1 1 UDP 2015363327 127.0.0.1 40000 typ host"},
                         {"sdp_mid", "0"},
                         {"sdp_mline_index", 0}};
    for (const auto &body :
         {Json{{"candidates", {candidate}}}, Json{{"pc_id", "pc_1"}, {"candidates", candidate}},
          Json{{"pc_id", "pc_1"}, {"candidates", {{{"candidate", "x"}}}}},
          Json{{"pc_id", "pc_1"}, {"candidates", {{{"candidate", "x"}, {"sdp_mline_index", -1}}}}}})
        EXPECT_EQ(error(patch(body.dump())), "400 invalid_request") << body.dump();
    EXPECT_EQ(error(patch("[")), "400 invalid_json");
    EXPECT_EQ(error(patch(Json{{"pc_id", "pc_nobody"}, {"candidates", {candidate}}}.dump())),
              "404 unknown_session");
}

} // namespace
