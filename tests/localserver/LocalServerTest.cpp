#include "LocalServerFixture.h"

#include <regex>

namespace {

class LocalServerTest : public LocalServerFixture
{};

TEST_F(LocalServerTest, UnknownPathsAndMethodsGetJsonErrors)
{
    const auto missing = client().Get("/etc/passwd");
    const auto traversal = client().Get("/api/../../etc/passwd");
    const auto wrongMethod = client().Put("/api/v1/chat/stream", "{}", "application/json");
    const auto deleteInfo = client().Delete("/api/user/info");

    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(json(missing)["code"], "not_found");
    EXPECT_EQ(traversal->status, 404);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(json(wrongMethod)["code"], "method_not_allowed");
    EXPECT_EQ(wrongMethod->get_header_value("Allow"), "POST");
    EXPECT_EQ(deleteInfo->status, 405);
    EXPECT_EQ(deleteInfo->get_header_value("Allow"), "GET");
}

TEST_F(LocalServerTest, BodiesOverOneMegabyteAreRefused)
{
    const std::string big(1024 * 1024 + 1, 'a');
    for (const auto *path :
         {"/api/v1/chat/stream", "/user_management/authenticate", "/", "/nowhere"}) {
        const auto result = client().Post(path, big, "application/json");
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 413) << path;
        EXPECT_EQ(json(result)["code"], "payload_too_large") << path;
    }
}

TEST_F(LocalServerTest, BodiesWithoutLengthAreRefusedAndEmptyOnesServed)
{
    httplib::Request chunked;
    chunked.method = "POST";
    chunked.path = "/api/v1/chat/stream";
    chunked.set_header("Transfer-Encoding", "chunked");
    chunked.body = "0\r\n\r\n";
    const auto refused = client().send(chunked);
    const auto empty = client().Delete("/", {{"Authorization", "Bearer " + signIn()}});

    EXPECT_EQ(refused->status, 411);
    EXPECT_EQ(json(refused)["code"], "length_required");
    EXPECT_EQ(empty->status, 400);
}

TEST_F(LocalServerTest, OnlyLocalHostNamesAreServed)
{
    const auto rebound = client().Get("/api/user/info", {{"Host", "attacker.example:8787"}});
    const auto local = client().Get("/api/user/info", {{"Host", "localhost:8787"}});

    EXPECT_EQ(rebound->status, 403);
    EXPECT_EQ(json(rebound)["code"], "forbidden_host");
    EXPECT_EQ(local->status, 401);
}

TEST_F(LocalServerTest, EveryRequestIsLoggedWithoutItsQuery)
{
    // A line is written just after its response: on one kept-alive connection the answer to a
    // last request proves the lines of the ones before it were written.
    auto connection = client();
    connection.set_keep_alive(true);
    testing::internal::CaptureStdout();
    connection.Get("/api/v1/prompts?type=text&workos_user_id=secret-user",
                   {{"Authorization", "Bearer localdev"}});
    connection.Get("/a%0Afake%1B[31m");
    connection.Get("/");
    const auto output = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(std::regex_search(
        output, std::regex("^\\[vessa-localserver\\] GET /api/v1/prompts 200 [0-9]+ ms\n")))
        << output;
    EXPECT_TRUE(std::regex_search(
        output, std::regex("\n\\[vessa-localserver\\] GET /a\\?fake\\?\\[31m 404 [0-9]+ ms\n")))
        << output;
    EXPECT_EQ(output.find("secret-user"), std::string::npos);
}

TEST_F(LocalServerTest, DataSurvivesARestart)
{
    const auto userId = signIn();
    chat(chatBody("Log my dinner: steak", userId));
    chat(chatBody("Add a todo: buy groceries", userId));
    restartServer();

    const auto meals = replyText(events(chat(chatBody("What did I eat today?", userId))->body));
    const auto todos = replyText(events(chat(chatBody("Show my todos", userId))->body));
    const auto info = client().Get("/api/user/info", {{"Authorization", "Bearer " + userId}});

    EXPECT_NE(meals.find("| Dinner | steak | 600 |"), std::string::npos) << meals;
    EXPECT_NE(todos.find("buy groceries"), std::string::npos) << todos;
    EXPECT_EQ(info->status, 200);
}

TEST_F(LocalServerTest, SecondServerCannotTakeAPortInUse)
{
    LocalServerOptions options;
    options.port = server->port();
    options.dataDirectory = dataDirectory.path().toStdString();
    LocalServer second(std::move(options));

    EXPECT_FALSE(second.start());
    EXPECT_EQ(client().Get("/nowhere")->status, 404);
}

TEST_F(LocalServerTest, StoppingEndsStreamsInProgress)
{
    restartServer(std::chrono::seconds(5));
    const auto userId = signIn();
    std::thread reader([&] { chat(chatBody("Tell me something", userId)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto before = std::chrono::steady_clock::now();
    server->stop();
    reader.join();

    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(4));
}

} // namespace
