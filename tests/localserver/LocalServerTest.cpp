#include "LocalServerFixture.h"

#include <future>
#include <thread>

namespace {

class LocalServerTest : public LocalServerFixture
{};

// Nesting far beyond any real request, where an endpoint reads a member: a recursive copy or
// comparison of it would overflow the stack.
std::string nestedIn(const std::string &before, const std::string &after)
{
    constexpr std::size_t depth = 400'000;
    return before + std::string(depth, '[') + std::string(depth, ']') + after;
}

TEST_F(LocalServerTest, ProtocolFaultsGetJsonErrors)
{
    httplib::Request chunked;
    chunked.method = "POST";
    chunked.path = "/api/v1/chat/stream";
    chunked.set_header("Transfer-Encoding", "chunked");
    chunked.body = "0\r\n\r\n";
    const std::string big(1024 * 1024 + 1, 'a');

    EXPECT_EQ(error(client().Delete("/api/user/info")), "405 method_not_allowed");
    EXPECT_EQ(error(client().Post("/", big, "application/json")), "413 payload_too_large");
    EXPECT_EQ(error(client().send(chunked)), "411 length_required");
    EXPECT_EQ(error(client().Get("/", {{"Host", "attacker.example:8787"}, {"Range", "bytes=0-5"}})),
              "403 forbidden_host");
    EXPECT_EQ(error(client().Get("/api/user/info", {{"Range", "bytes=0-5"}})), "401 unauthorized");
    for (const auto *authorization : {"", "Bearer user_NOBODY", "localdev"})
        EXPECT_EQ(error(client().Get("/api/user/info", {{"Authorization", authorization}})),
                  "401 unauthorized");
    for (const auto *items : {"type=audio&workos_user_id=u1", "type=text&workos_user_id="})
        EXPECT_EQ(error(client().Get(std::string("/api/v1/prompts?") + items,
                                     {{"Authorization", "Bearer localdev"}})),
                  "400 invalid_request");
}

TEST_F(LocalServerTest, DeeplyNestedBodiesAreRefusedAndTheServerLivesOn)
{
    const auto userId = signIn();
    httplib::Headers mcp{{"Authorization", "Bearer " + userId}, {"Accept", "text/event-stream"}};
    const auto initialize = client().Post("/", mcp,
                                          R"({"jsonrpc":"2.0","id":1,"method":"initialize",)"
                                          R"("params":{"protocolVersion":"2025-03-26"}})",
                                          "application/json");
    mcp.emplace("Mcp-Session-Id", initialize->get_header_value("Mcp-Session-Id"));
    const httplib::Headers apiToken{{"Authorization", "Bearer localdev"}};
    struct Case
    {
        const char *method;
        const char *path;
        httplib::Headers headers;
        std::string body;
    };
    const Case cases[] = {
        {"POST", "/api/offer", {}, nestedIn(R"({"sdp":"v=0\r\n","type":)", R"(,"client":"x"})")},
        {"PATCH", "/api/offer", {}, nestedIn(R"({"pc_id":"pc_1","candidates":)", "}")},
        {"POST", "/", mcp, nestedIn("", "")},
        {"POST", "/", mcp, nestedIn(R"({"jsonrpc":"2.0","id":)", R"(,"method":"ping"})")},
        {"POST", "/", mcp, nestedIn(R"({"jsonrpc":"2.0","id":2,"method":"ping","params":)", "}")},
        {"POST", "/api/v1/chat/stream", apiToken,
         nestedIn(R"({"messages":[{"role":"user","content":)", R"(}],"prompt_type":"text"})")},
        {"POST", "/user_management/authenticate", {}, nestedIn(R"({"grant_type":)", "}")},
    };
    for (const auto &[method, path, headers, body] : cases) {
        httplib::Request request;
        request.method = method;
        request.path = path;
        request.headers = headers;
        request.set_header("Content-Type", "application/json");
        request.body = body;
        const auto result = client().send(request);
        EXPECT_EQ(result ? result->status : 0, 400) << method << " " << path;
    }
    EXPECT_EQ(error(client().Get("/nowhere")), "404 not_found");
    // Read as usual up to the limit: refused for what it says, not for its depth.
    auto withinLimit = chatBody("hi");
    for (int level = 0; level < 500; ++level)
        withinLimit = Json{{"more", std::move(withinLimit)}};
    EXPECT_EQ(error(chat(withinLimit)), "400 invalid_request");
}

// What a web page in the user's browser can send without asking: its own origin, a sandboxed
// frame's, or no origin at all on a no-cors request that still names the site.
TEST_F(LocalServerTest, RequestsFromOtherSitesAreRefusedAndLeaveNoTrace)
{
    const auto email = std::string("victim@example.com");
    auto form = authorizeItems();
    form.emplace("name", "Victim");
    form.emplace("email", email);
    const auto formBody = httplib::detail::params_to_query_str(form);
    const httplib::Headers fromElsewhere[] = {{{"Origin", "https://evil.example"}},
                                              {{"Origin", "null"}},
                                              {{"Origin", "http://127.0.0.1:1"}},
                                              {{"Sec-Fetch-Site", "cross-site"}},
                                              {{"Sec-Fetch-Site", "same-site"}}};
    for (const auto &headers : fromElsewhere) {
        const auto &[name, value] = *headers.begin();
        EXPECT_EQ(error(client().Post("/user_management/authorize", headers, formBody,
                                      "application/x-www-form-urlencoded")),
                  "403 forbidden_origin")
            << name << ": " << value;
        EXPECT_EQ(error(client().Post("/api/offer", headers, "{}", "text/plain")),
                  "403 forbidden_origin");
        EXPECT_EQ(error(client().Get("/user_management/authorize", authorizeItems(), headers)),
                  "403 forbidden_origin");
    }
    for (const auto *path : {"/", "/api/v1/chat/stream", "/user_management/authenticate"})
        EXPECT_EQ(error(client().Post(path, fromElsewhere[0], "{}", "text/plain")),
                  "403 forbidden_origin")
            << path;
    EXPECT_EQ(
        error(client().Get("/api/user/info",
                           {{"Authorization", "Bearer " + IdentityProvider::userIdFor(email)}})),
        "401 unauthorized");
}

TEST_F(LocalServerTest, JsonEndpointsTakeOnlyJson)
{
    const auto userId = signIn();
    const httplib::Headers mcp{{"Authorization", "Bearer " + userId},
                               {"Accept", "text/event-stream"}};
    const auto ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
    for (const auto *type :
         {"text/plain", "application/x-www-form-urlencoded", "application/jsonx"}) {
        EXPECT_EQ(error(client().Post("/api/offer", "{}", type)), "415 unsupported_media_type");
        EXPECT_EQ(error(client().Patch("/api/offer", "{}", type)), "415 unsupported_media_type");
        EXPECT_EQ(error(client().Post("/user_management/authenticate", "{}", type)),
                  "415 unsupported_media_type");
        EXPECT_EQ(error(client().Post("/api/v1/chat/stream", {{"Authorization", "Bearer localdev"}},
                                      chatBody("hi").dump(), type)),
                  "415 unsupported_media_type");
        EXPECT_EQ(client().Post("/", mcp, ping, type)->status, 415);
    }
    EXPECT_EQ(error(client().Post("/api/offer", "{}", "Application/JSON; charset=utf-8")),
              "400 invalid_request");
}

TEST_F(LocalServerTest, RequestsAnsweredInProcessGetWholeReplies)
{
    QTemporaryDir otherData;
    LocalServerOptions options;
    options.dataDirectory = otherData.path().toStdString();
    options.pace = std::chrono::milliseconds(0);
    LocalServer idle(std::move(options));
    const auto body = chatBody("Hello").dump();
    const auto reply = idle.answer("POST /api/v1/chat/stream HTTP/1.1\r\n"
                                   "Authorization: Bearer localdev\r\n"
                                   "Content-Type: application/json\r\n"
                                   "Content-Length: " +
                                   std::to_string(body.size()) + "\r\n\r\n" + body);

    EXPECT_TRUE(reply.starts_with("HTTP/1.1 200 OK\r\n")) << reply;
    EXPECT_NE(reply.find("\"type\":\"message_complete\""), std::string::npos) << reply;
    EXPECT_TRUE(idle.answer("GET /nowhere HTTP/1.1\r\n\r\n").starts_with("HTTP/1.1 404"));
    EXPECT_THROW(server->answer("GET / HTTP/1.1\r\n\r\n"), std::logic_error);
}

TEST_F(LocalServerTest, StreamsDoNotHoldUpOtherRequestsAndStoppingEndsThem)
{
    startServer(std::chrono::seconds(5));
    std::promise<void> begun;
    httplib::Request request;
    request.method = "POST";
    request.path = "/api/v1/chat/stream";
    request.set_header("Authorization", "Bearer localdev");
    request.set_header("Content-Type", "application/json");
    request.body = chatBody("Tell me something").dump();
    request.content_receiver = [&begun, first = true](const char *, std::size_t, std::uint64_t,
                                                      std::uint64_t) mutable {
        if (std::exchange(first, false))
            begun.set_value();
        return true;
    };
    std::thread reader([&] { client().send(request); });
    const auto streaming = begun.get_future().wait_for(std::chrono::seconds(4));
    const auto other = client().Get("/nowhere");
    const auto stopped = std::chrono::steady_clock::now();
    server->stop();
    reader.join();

    EXPECT_EQ(streaming, std::future_status::ready);
    EXPECT_EQ(error(other), "404 not_found");
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(3));
}

} // namespace
