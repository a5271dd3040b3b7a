#include "LocalServerFixture.h"

namespace {

class ChatEndpointTest : public LocalServerFixture
{};

TEST_F(ChatEndpointTest, MalformedOrUnauthorizedRequestsAreRefused)
{
    const auto message = [](const Json &content) {
        return Json::array({{{"role", "user"}, {"content", content}}});
    };
    for (const auto &[key, value] : std::initializer_list<std::pair<std::string, Json>>{
             {"messages", "hi"},
             {"messages", Json::array()},
             {"messages", Json::array({{{"role", "assistant"}, {"content", "hi"}}})},
             {"messages", message(5)},
             {"messages", message(Json::array({{{"type", "image"}, {"source", "x"}}}))},
             {"prompt_type", "story"},
             {"workos_user_id", ""}}) {
        auto body = chatBody("hi");
        body[key] = value;
        EXPECT_EQ(error(chat(body)), "400 invalid_request") << body.dump();
    }
    for (const auto *raw : {"", "[1,", "\xff\xfe"})
        EXPECT_EQ(error(client().Post("/api/v1/chat/stream", {{"Authorization", "Bearer localdev"}},
                                      raw, "application/json")),
                  "400 invalid_json");
    EXPECT_EQ(error(chat(chatBody("hi"), "nottoken")), "401 unauthorized");
    EXPECT_EQ(error(chat(chatBody("hi", "user_NOBODY"))), "401 unknown_user");
}

} // namespace
