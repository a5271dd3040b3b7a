#include "McpEndpoint.h"

#include "LocalServerFixture.h"

namespace {

class McpEndpointTest : public LocalServerFixture
{
protected:
    httplib::Headers headers(const std::string &userId, const std::string &session = {}) const
    {
        httplib::Headers headers{{"Authorization", "Bearer " + userId},
                                 {"Accept", "application/json, text/event-stream"}};
        if (!session.empty())
            headers.emplace("Mcp-Session-Id", session);
        return headers;
    }

    httplib::Result post(const std::string &body, const std::string &userId,
                         const std::string &session = {})
    {
        return client().Post("/", headers(userId, session), body, "application/json");
    }

    std::string open(const std::string &userId)
    {
        const auto result = post(Json{{"jsonrpc", "2.0"},
                                      {"id", 1},
                                      {"method", "initialize"},
                                      {"params",
                                       {{"protocolVersion", "2025-03-26"},
                                        {"capabilities", Json::object()},
                                        {"clientInfo", {{"name", "test"}, {"version", "1"}}}}}}
                                     .dump(),
                                 userId);
        EXPECT_EQ(result->status, 200);
        return result->get_header_value("Mcp-Session-Id");
    }

    // The one JSON-RPC reply carried by an event-stream answer.
    static Json reply(const httplib::Result &result)
    {
        EXPECT_EQ(result->get_header_value("Content-Type"), "text/event-stream");
        const auto streamed = events(result->body);
        EXPECT_EQ(streamed.size(), 1U);
        return streamed.empty() ? Json() : streamed.front().data;
    }

    Json call(const std::string &userId, const std::string &session, const std::string &name,
              const Json &arguments)
    {
        return reply(post(Json{{"jsonrpc", "2.0"},
                               {"id", 7},
                               {"method", "tools/call"},
                               {"params", {{"name", name}, {"arguments", arguments}}}}
                              .dump(),
                          userId, session));
    }
};

TEST_F(McpEndpointTest, InitializeOpensASessionAsAnEventStream)
{
    const auto userId = signIn();
    const auto result = post(
        R"({"jsonrpc":"2.0","id":"a","method":"initialize","params":{"protocolVersion":"2024-11-05"}})",
        userId);

    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Mcp-Session-Id").size(), 32U);
    const auto message = reply(result);
    EXPECT_EQ(message["id"], "a");
    EXPECT_EQ(message["result"]["protocolVersion"], "2025-03-26");
    EXPECT_TRUE(message["result"]["capabilities"]["tools"].is_object());
    EXPECT_EQ(message["result"]["serverInfo"]["name"], "vessa-localserver");
}

TEST_F(McpEndpointTest, ToolsAreListedWithSchemas)
{
    const auto userId = signIn();
    const auto message =
        reply(post(R"({"jsonrpc":"2.0","id":2,"method":"tools/list"})", userId, open(userId)));

    std::vector<std::string> names;
    for (const auto &tool : message["result"]["tools"]) {
        names.push_back(tool["name"]);
        EXPECT_TRUE(tool["description"].is_string());
        EXPECT_EQ(tool["inputSchema"]["type"], "object");
        EXPECT_TRUE(tool["inputSchema"]["properties"].is_object());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"log_meal", "list_meals", "get_calorie_totals",
                                               "add_todo", "list_todos", "complete_todo"}));
}

TEST_F(McpEndpointTest, CalledToolsWorkOnTheCallersOwnData)
{
    const auto alex = signIn();
    const auto ann = signIn("ann@example.com");
    const auto alexSession = open(alex);
    const auto annSession = open(ann);

    const auto logged =
        call(alex, alexSession, "log_meal",
             {{"meal_type", "dinner"}, {"description", "Pasta"}, {"calories", 700}});
    const auto alexMeals = call(alex, alexSession, "list_meals", Json::object());
    const auto annMeals = call(ann, annSession, "list_meals", Json::object());

    EXPECT_EQ(logged["result"]["isError"], false);
    EXPECT_EQ(logged["result"]["content"][0]["type"], "text");
    EXPECT_EQ(logged["result"]["structuredContent"]["meal"]["calories"], 700);
    EXPECT_EQ(alexMeals["result"]["structuredContent"]["meals"][0]["description"], "Pasta");
    EXPECT_EQ(alexMeals["result"]["structuredContent"]["total_calories"], 700);
    EXPECT_TRUE(annMeals["result"]["structuredContent"]["meals"].empty());
}

TEST_F(McpEndpointTest, TodosAndTotalsFollowTheDays)
{
    const auto userId = signIn();
    const auto session = open(userId);
    advanceClock(std::chrono::hours(-48));
    call(userId, session, "log_meal", {{"meal_type", "lunch"}, {"description", "Salad"}});
    advanceClock(std::chrono::hours(48));
    call(userId, session, "log_meal", {{"meal_type", "snack"}, {"description", "2 apples"}});
    const auto week = call(userId, session, "get_calorie_totals", Json::object());
    const auto today = call(userId, session, "get_calorie_totals", {{"period", "today"}});
    const auto added = call(userId, session, "add_todo", {{"title", "  Call mum  "}});
    const auto done = call(userId, session, "complete_todo",
                           {{"id", added["result"]["structuredContent"]["todo"]["id"]}});
    const auto missing = call(userId, session, "complete_todo", {{"id", 999}});
    const auto open = call(userId, session, "list_todos", Json::object());
    const auto all = call(userId, session, "list_todos", {{"include_done", true}});

    EXPECT_EQ(week["result"]["structuredContent"]["total_calories"], 150 + 95);
    EXPECT_EQ(week["result"]["structuredContent"]["days"].size(), 7U);
    EXPECT_EQ(week["result"]["structuredContent"]["days"][4]["calories"], 150);
    EXPECT_EQ(today["result"]["structuredContent"]["total_calories"], 95);
    EXPECT_EQ(added["result"]["structuredContent"]["todo"]["title"], "Call mum");
    EXPECT_EQ(done["result"]["structuredContent"]["todo"]["done"], true);
    EXPECT_EQ(missing["result"]["isError"], true);
    EXPECT_EQ(missing["result"]["content"][0]["text"], "No todo #999.");
    EXPECT_TRUE(open["result"]["structuredContent"]["todos"].empty());
    EXPECT_EQ(all["result"]["structuredContent"]["todos"].size(), 1U);
}

TEST_F(McpEndpointTest, BadToolCallsAreInvalidParams)
{
    const auto userId = signIn();
    const auto session = open(userId);
    const std::vector<std::pair<std::string, Json>> calls{
        {"log_meal", {{"meal_type", "brunch"}, {"description", "x"}}},
        {"log_meal", {{"meal_type", "lunch"}}},
        {"log_meal", {{"meal_type", "lunch"}, {"description", ""}}},
        {"log_meal", {{"meal_type", "lunch"}, {"description", "x"}, {"calories", -1}}},
        {"log_meal", {{"meal_type", "lunch"}, {"description", "x"}, {"calories", 1.5}}},
        {"log_meal", {{"meal_type", "lunch"}, {"description", std::string(501, 'x')}}},
        {"log_meal", {{"meal_type", "lunch"}, {"description", "x"}, {"extra", 1}}},
        {"list_meals", {{"date", "2024-02-30"}}},
        {"list_meals", {{"date", "../../etc/passwd"}}},
        {"add_todo", {{"title", "   "}}},
        {"complete_todo", {{"id", "3"}}},
        {"list_todos", Json::array()},
        {"no_such_tool", Json::object()},
    };
    for (const auto &[name, arguments] : calls) {
        const auto message = call(userId, session, name, arguments);
        EXPECT_EQ(message["error"]["code"], -32602) << name << " " << arguments.dump();
        EXPECT_EQ(message["id"], 7);
    }
}

TEST_F(McpEndpointTest, SessionRulesFollowTheTransport)
{
    const auto alex = signIn();
    const auto ann = signIn("ann@example.com");
    const auto session = open(alex);
    const auto ping = R"({"jsonrpc":"2.0","id":3,"method":"ping"})";

    EXPECT_EQ(post(ping, alex)->status, 400);
    EXPECT_EQ(post(ping, alex, "0123456789abcdef0123456789abcdef")->status, 404);
    EXPECT_EQ(post(ping, ann, session)->status, 404);
    EXPECT_EQ(post(ping, "user_NOBODY", session)->status, 401);
    EXPECT_EQ(client().Post("/", ping, "application/json")->status, 401);
    EXPECT_EQ(post(ping, alex, session)->status, 200);

    const auto closed = client().Delete("/", headers(alex, session));
    EXPECT_EQ(closed->status, 204);
    EXPECT_EQ(post(ping, alex, session)->status, 404);
    EXPECT_EQ(client().Delete("/", headers(alex, session))->status, 404);
}

TEST_F(McpEndpointTest, NotificationsBatchesAndErrors)
{
    const auto userId = signIn();
    const auto session = open(userId);

    const auto notified =
        post(R"({"jsonrpc":"2.0","method":"notifications/initialized"})", userId, session);
    EXPECT_EQ(notified->status, 202);
    EXPECT_TRUE(notified->body.empty());

    const auto batch = post(
        R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","method":"notifications/x"},)"
        R"({"jsonrpc":"2.0","id":2,"method":"resources/list"},{"jsonrpc":"1.0","id":3,"method":"ping"}])",
        userId, session);
    const auto replies = reply(batch);
    ASSERT_EQ(replies.size(), 3U);
    EXPECT_EQ(replies[0]["result"], Json::object());
    EXPECT_EQ(replies[1]["error"]["code"], -32601);
    EXPECT_EQ(replies[2]["error"]["code"], -32600);

    const auto unparsable = post("{\"jsonrpc\":", userId, session);
    EXPECT_EQ(unparsable->status, 400);
    EXPECT_EQ(json(unparsable)["error"]["code"], -32700);
    for (const auto *body : {"[]", "42", "\"x\""})
        EXPECT_EQ(post(body, userId, session)->status, 400) << body;
    EXPECT_EQ(post(R"({"jsonrpc":"2.0","id":1,"method":"initialize"})", userId)->status, 400);
    EXPECT_EQ(
        post(R"([{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"x"}}])",
             userId, session)
            ->status,
        400);
}

TEST_F(McpEndpointTest, OnlyPostAndDeleteAreServed)
{
    const auto userId = signIn();
    const auto get = client().Get("/", headers(userId));
    auto plainJson = headers(userId);
    plainJson.erase("Accept");
    plainJson.emplace("Accept", "application/json");

    EXPECT_EQ(get->status, 405);
    EXPECT_EQ(get->get_header_value("Allow"), "POST, DELETE");
    EXPECT_EQ(
        client()
            .Post("/", plainJson, R"({"jsonrpc":"2.0","id":1,"method":"ping"})", "application/json")
            ->status,
        406);
}

} // namespace
