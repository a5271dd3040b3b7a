#include "LocalServerFixture.h"

#include <thread>

namespace {

class ChatEndpointTest : public LocalServerFixture
{};

std::vector<std::string> names(const std::vector<LocalServerFixture::StreamedEvent> &events)
{
    std::vector<std::string> names;
    for (const auto &event : events)
        if (names.empty() || names.back() != event.name || event.name != "content_delta")
            names.push_back(event.name);
    return names;
}

TEST_F(ChatEndpointTest, QuickActionsRunToolsBeforeTheirText)
{
    const auto userId = signIn();
    struct Case
    {
        const char *text;
        const char *tool;
        const char *answerPart;
    };
    for (const auto &[text, tool, answerPart] : std::vector<Case>{
             {"Log my breakfast", "log_meal", "I logged your **breakfast**"},
             {"What did I eat today?", "list_meals", "| Breakfast |"},
             {"Add a todo: buy groceries", "add_todo", "**buy groceries**"},
             {"How many calories this week?", "get_calorie_totals", "| Day | Meals | kcal |"}}) {
        SCOPED_TRACE(text);
        const auto result = chat(chatBody(text, userId));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/event-stream");
        const auto streamed = events(result->body);
        EXPECT_EQ(names(streamed),
                  (std::vector<std::string>{"tool_use_start", "tool_result", "message_complete",
                                            "content_delta", "message_complete"}));
        EXPECT_EQ(streamed[0].data["tool"], tool);
        EXPECT_EQ(streamed[0].data["type"], "tool_use_start");
        EXPECT_EQ(streamed[1].data["tool_id"], streamed[0].data["tool_id"]);
        EXPECT_EQ(streamed[1].data["is_error"], false);
        EXPECT_NE(replyText(streamed).find(answerPart), std::string::npos) << replyText(streamed);
    }
}

TEST_F(ChatEndpointTest, CompletingATodoTakesTwoToolRounds)
{
    const auto userId = signIn();
    chat(chatBody("Add a todo: water the plants", userId));
    const auto streamed = events(chat(chatBody("Mark water the plants as done", userId))->body);

    EXPECT_EQ(names(streamed),
              (std::vector<std::string>{"tool_use_start", "tool_result", "message_complete",
                                        "tool_use_start", "tool_result", "message_complete",
                                        "content_delta", "message_complete"}));
    EXPECT_EQ(streamed[3].data["tool"], "complete_todo");
    EXPECT_NE(replyText(streamed).find("**water the plants** is done"), std::string::npos);
}

TEST_F(ChatEndpointTest, OtherRequestsGetMarkdownWithoutTools)
{
    const auto streamed = events(chat(chatBody("Tell me something", signIn()))->body);
    const auto reply = replyText(streamed);

    EXPECT_EQ(names(streamed), (std::vector<std::string>{"content_delta", "message_complete"}));
    EXPECT_GT(streamed.size(), 20U);
    for (const auto *part :
         {"\n1. ", "|---|", "```json\n", "*Markdown*", "**local**", "](https://"})
        EXPECT_NE(reply.find(part), std::string::npos) << part;
}

TEST_F(ChatEndpointTest, WithoutUserToolRequestsAskForSignIn)
{
    const auto streamed = events(chat(chatBody("Log my breakfast", ""))->body);

    EXPECT_EQ(names(streamed), (std::vector<std::string>{"content_delta", "message_complete"}));
    EXPECT_NE(replyText(streamed).find("sign in"), std::string::npos);
}

TEST_F(ChatEndpointTest, ImageBlocksAreAccepted)
{
    Json body = chatBody("", signIn());
    body["messages"][0]["content"] = Json::array(
        {{{"type", "image"},
          {"source", {{"type", "base64"}, {"media_type", "image/jpeg"}, {"data", "/9j/4AAQ"}}}}});
    const auto result = chat(body);

    EXPECT_EQ(result->status, 200);
    EXPECT_NE(replyText(events(result->body)).find("picture"), std::string::npos);
}

TEST_F(ChatEndpointTest, WrongTokenOrUnknownUserIsUnauthorized)
{
    const auto wrongToken = chat(chatBody("hi", ""), "nottoken");
    const auto unknownUser = chat(chatBody("hi", "user_NOBODY"));
    const auto noHeader =
        client().Post("/api/v1/chat/stream", chatBody("hi", "").dump(), "application/json");

    EXPECT_EQ(wrongToken->status, 401);
    EXPECT_EQ(json(wrongToken)["code"], "unauthorized");
    EXPECT_EQ(unknownUser->status, 401);
    EXPECT_EQ(json(unknownUser)["code"], "unknown_user");
    EXPECT_EQ(noHeader->status, 401);
}

TEST_F(ChatEndpointTest, MalformedBodiesAreRefused)
{
    const auto valid = chatBody("hi", "");
    std::vector<Json> bodies;
    for (const auto &[key, value] : std::vector<std::pair<std::string, Json>>{
             {"messages", Json::array()},
             {"messages", "hi"},
             {"messages", Json::array({{{"role", "assistant"}, {"content", "hi"}}})},
             {"messages", Json::array({{{"role", "user"}}})},
             {"messages", Json::array({{{"role", "user"}, {"content", 5}}})},
             {"messages", Json::array({{{"role", "user"}, {"content", Json::array()}}})},
             {"messages",
              Json::array({{{"role", "user"}, {"content", Json::array({{{"type", "video"}}})}}})},
             {"messages",
              Json::array({{{"role", "user"},
                            {"content", Json::array({{{"type", "image"}, {"source", "x"}}})}}})},
             {"prompt_type", "story"},
             {"prompt_type", nullptr},
             {"client", 7},
             {"workos_user_id", ""},
         }) {
        auto body = valid;
        body[key] = value;
        bodies.push_back(body);
    }
    auto withoutType = valid;
    withoutType.erase("prompt_type");
    bodies.push_back(withoutType);
    bodies.push_back(Json::array());

    for (const auto &body : bodies) {
        const auto result = chat(body);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400) << body.dump();
        EXPECT_EQ(json(result)["code"], "invalid_request") << body.dump();
    }
    for (const auto *raw : {"", "{", "[1,", "\xff\xfe"}) {
        const auto result = client().Post(
            "/api/v1/chat/stream", {{"Authorization", "Bearer localdev"}}, raw, "application/json");
        EXPECT_EQ(result->status, 400);
        EXPECT_EQ(json(result)["code"], "invalid_json");
    }
}

TEST_F(ChatEndpointTest, TwoStreamsRunAtTheSameTime)
{
    restartServer(std::chrono::milliseconds(5));
    const auto userId = signIn();
    using Moment = std::chrono::steady_clock::time_point;
    struct Stream
    {
        Moment first{};
        Moment last{};
        std::string body;
    };
    std::array<Stream, 2> streams;
    auto read = [&](Stream &stream) {
        httplib::Request request;
        request.method = "POST";
        request.path = "/api/v1/chat/stream";
        request.set_header("Authorization", "Bearer localdev");
        request.set_header("Content-Type", "application/json");
        request.body = chatBody("Tell me something", userId).dump();
        request.content_receiver = [&](const char *data, std::size_t size, std::uint64_t,
                                       std::uint64_t) {
            const auto now = std::chrono::steady_clock::now();
            if (stream.body.empty())
                stream.first = now;
            stream.last = now;
            stream.body.append(data, size);
            return true;
        };
        client().send(request);
    };
    std::thread first(read, std::ref(streams[0]));
    std::thread second(read, std::ref(streams[1]));
    first.join();
    second.join();

    EXPECT_EQ(streams[0].body, streams[1].body);
    EXPECT_EQ(events(streams[0].body).back().name, "message_complete");
    // Each stream got its first event before the other one ended.
    EXPECT_LT(streams[0].first, streams[1].last);
    EXPECT_LT(streams[1].first, streams[0].last);
}

} // namespace
