#include "LocalServerFixture.h"

namespace {

class McpEndpointTest : public LocalServerFixture
{
protected:
    httplib::Result post(const std::string &body, const std::string &userId,
                         const std::string &session = {})
    {
        return client().Post("/",
                             {{"Authorization", "Bearer " + userId},
                              {"Accept", "application/json, text/event-stream"},
                              {"Mcp-Session-Id", session}},
                             body, "application/json");
    }

    std::string open(const std::string &userId)
    {
        return post(R"({"jsonrpc":"2.0","id":1,"method":"initialize",)"
                    R"("params":{"protocolVersion":"2025-03-26"}})",
                    userId)
            ->get_header_value("Mcp-Session-Id");
    }

    // The one JSON-RPC reply of a tool call, carried by an event-stream answer.
    Json call(const std::string &userId, const std::string &session, const std::string &name,
              const Json &arguments)
    {
        Json request{{"jsonrpc", "2.0"}, {"id", 7}, {"method", "tools/call"}};
        request["params"] = {{"name", name}, {"arguments", arguments}};
        const auto result = post(request.dump(), userId, session);
        const auto body = result ? result->body : std::string();
        const auto data = body.find("data: ");
        EXPECT_EQ(data, body.rfind("data: ")) << body;
        return data == std::string::npos ? Json()
                                         : Json::parse(body.substr(data + 6), nullptr, false);
    }
};

TEST_F(McpEndpointTest, ToolsWorkOnTheCallersOwnDataAndStoreTextAsText)
{
    const auto alex = signIn();
    const auto session = open(alex);
    const auto use = [&](const std::string &name, const Json &arguments) {
        return call(alex, session, name, arguments)["result"]["structuredContent"];
    };
    use("log_meal", {{"meal_type", "dinner"}, {"description", "Pasta"}, {"calories", 700}});
    const auto todo = use("add_todo", {{"title", "  '); DROP TABLE todos; --  "}})["todo"];
    const auto ann = signIn("ann@example.com");

    EXPECT_EQ(use("get_calorie_totals", Json::object())["total_calories"], 700);
    EXPECT_EQ(todo["title"], "'); DROP TABLE todos; --");
    EXPECT_EQ(use("complete_todo", {{"id", todo["id"]}})["todo"]["done"], true);
    EXPECT_TRUE(use("list_todos", Json::object())["todos"].empty());
    EXPECT_TRUE(
        call(ann, open(ann), "list_meals", {})["result"]["structuredContent"]["meals"].empty());
    EXPECT_EQ(post(R"({"jsonrpc":"2.0","id":3,"method":"ping"})", ann, session)->status, 404);
}

TEST_F(McpEndpointTest, BadCallsAndSessionsAreRefused)
{
    const auto userId = signIn();
    const auto session = open(userId);
    for (const auto &[name, arguments] : std::initializer_list<std::pair<std::string, Json>>{
             {"log_meal", {{"meal_type", "brunch"}, {"description", "x"}}},
             {"log_meal", {{"meal_type", "lunch"}, {"description", "x"}, {"calories", -1}}},
             {"log_meal", {{"meal_type", "lunch"}, {"description", std::string(501, 'x')}}},
             {"list_meals", {{"date", "../../etc/passwd"}}},
             {"no_such_tool", Json::object()}})
        EXPECT_EQ(call(userId, session, name, arguments)["error"]["code"], -32602) << name;
    const auto ping = R"({"jsonrpc":"2.0","id":3,"method":"ping"})";
    EXPECT_EQ(post(ping, userId)->status, 400);
    EXPECT_EQ(post(ping, userId, "0123456789abcdef0123456789abcdef")->status, 404);
    EXPECT_EQ(post(ping, "user_NOBODY", session)->status, 401);
    EXPECT_EQ(json(post("{\"jsonrpc\":", userId, session))["error"]["code"], -32700);
    EXPECT_EQ(post("[]", userId, session)->status, 400);
    EXPECT_EQ(client()
                  .Delete("/", {{"Authorization", "Bearer " + userId}, {"Mcp-Session-Id", session}})
                  ->status,
              204);
    EXPECT_EQ(post(ping, userId, session)->status, 404);
}

} // namespace
