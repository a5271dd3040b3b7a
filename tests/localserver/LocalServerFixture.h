#pragma once

#include "LocalServer.h"
#include "identity/SignInPage.h"

#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

// A server on a free port over a fresh data folder, with a clock the test can move forward and
// no pause between streamed events unless a test asks for one.
class LocalServerFixture : public ::testing::Test
{
protected:
    using Json = nlohmann::ordered_json;
    static constexpr char clientId[] = "client_01LOCALVESSADEVELOPMENT000";
    // The verifier of RFC 7636's example and its S256 challenge.
    static constexpr char verifier[] = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
    static constexpr char challenge[] = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

    void SetUp() override
    {
        std::signal(SIGPIPE, SIG_IGN);
        startServer();
    }

    // Starts the server, stopping the one running first.
    void startServer(std::chrono::milliseconds pace = std::chrono::milliseconds(0))
    {
        server.reset();
        LocalServerOptions options;
        options.port = 0;
        options.dataDirectory = dataDirectory.path().toStdString();
        options.pace = pace;
        options.modelServer = modelServer;
        options.modelLimits = modelLimits;
        options.clock = [this] {
            return std::chrono::system_clock::now() + std::chrono::seconds(clockOffset.load());
        };
        server = std::make_unique<LocalServer>(std::move(options));
        ASSERT_TRUE(server->start());
        server->checkModelServer();
    }

    // Set before startServer to answer chats with a model server.
    std::optional<ModelServerSettings> modelServer;
    ModelLimits modelLimits;

    httplib::Client client() const
    {
        httplib::Client client("127.0.0.1", server->port());
        client.set_read_timeout(10);
        return client;
    }

    static Json json(const httplib::Result &result)
    {
        return result ? Json::parse(result->body, nullptr, false) : Json();
    }

    // An error reply as "status code", such as "400 invalid_request".
    static std::string error(const httplib::Result &result)
    {
        const auto body = json(result);
        return result ? std::to_string(result->status) + " " +
                            (body.is_object() ? body.value("code", "") : "")
                      : "no reply";
    }

    static httplib::Params authorizeItems()
    {
        return {{"client_id", clientId},
                {"redirect_uri", "vessa-mac://callback"},
                {"response_type", "code"},
                {"provider", "authkit"},
                {"state", "state-1"},
                {"code_challenge", challenge},
                {"code_challenge_method", "S256"}};
    }

    // Submits the sign-in page's form and gives the code of the redirect.
    std::string authorize(const std::string &email = SignInPage::defaultEmail)
    {
        auto form = authorizeItems();
        form.emplace("name", SignInPage::defaultName);
        form.emplace("email", email);
        const auto result = client().Post("/user_management/authorize", form);
        const auto location = result ? result->get_header_value("Location") : std::string();
        const auto start = location.find("code=") + 5;
        return location.substr(start, location.find('&', start) - start);
    }

    static Json tokenRequest(const std::string &code)
    {
        return {{"grant_type", "authorization_code"},
                {"client_id", clientId},
                {"code", code},
                {"code_verifier", verifier}};
    }

    httplib::Result exchange(const Json &body)
    {
        return client().Post("/user_management/authenticate", body.dump(), "application/json");
    }

    // Signs a user in and gives the user's id.
    std::string signIn(const std::string &email = SignInPage::defaultEmail)
    {
        return json(exchange(tokenRequest(authorize(email))))["user"]["id"].get<std::string>();
    }

    static Json chatBody(const std::string &text, const std::string &userId = {})
    {
        Json body{{"messages", {{{"role", "user"}, {"content", text}}}},
                  {"prompt_type", "text"},
                  {"client", "vessa_mac"}};
        if (!userId.empty())
            body["workos_user_id"] = userId;
        return body;
    }

    httplib::Result chat(const Json &body, const std::string &token = "localdev")
    {
        return client().Post("/api/v1/chat/stream", {{"Authorization", "Bearer " + token}},
                             body.dump(), "application/json");
    }

    QTemporaryDir dataDirectory;
    // Seconds the server's clock runs ahead of the real one.
    std::atomic<long long> clockOffset{0};
    std::unique_ptr<LocalServer> server;
};
