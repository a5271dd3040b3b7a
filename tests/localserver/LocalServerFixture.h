#pragma once

#include "LocalServer.h"
#include "SignInPage.h"

#include <QTemporaryDir>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// A server on a free port over a fresh data folder, with a clock the test can move forward and
// no pause between streamed events unless a test asks for one.
class LocalServerFixture : public ::testing::Test
{
public:
    using Json = nlohmann::ordered_json;

    struct StreamedEvent
    {
        std::string name;
        Json data;
    };

protected:
    static constexpr char clientId[] = "client_01LOCALVESSADEVELOPMENT000";
    static constexpr char apiToken[] = "localdev";
    // The verifier of RFC 7636's example and its S256 challenge.
    static constexpr char verifier[] = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
    static constexpr char challenge[] = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

    void SetUp() override
    {
        std::signal(SIGPIPE, SIG_IGN);
        ASSERT_TRUE(dataDirectory.isValid());
        startServer();
    }

    void startServer(std::chrono::milliseconds pace = std::chrono::milliseconds(0))
    {
        LocalServerOptions options;
        options.port = 0;
        options.dataDirectory = dataDirectory.path().toStdString();
        options.pace = pace;
        options.clock = [this] {
            return std::chrono::system_clock::now() + std::chrono::seconds(clockOffset.load());
        };
        server = std::make_unique<LocalServer>(std::move(options));
        ASSERT_TRUE(server->start());
    }

    void restartServer(std::chrono::milliseconds pace = std::chrono::milliseconds(0))
    {
        server.reset();
        startServer(pace);
    }

    void advanceClock(std::chrono::seconds by) { clockOffset += by.count(); }

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

    static std::string query(const httplib::Params &items)
    {
        std::string query;
        for (const auto &[name, value] : items) {
            query += (query.empty() ? "" : "&") + name + "=";
            for (const auto c : value) {
                const auto byte = static_cast<unsigned char>(c);
                if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
                    query += c;
                } else {
                    static constexpr char digits[] = "0123456789ABCDEF";
                    query += '%';
                    query += digits[byte >> 4U];
                    query += digits[byte & 0x0FU];
                }
            }
        }
        return query;
    }

    // Submits the sign-in page's form and gives the code of the redirect.
    std::string authorize(const std::string &email = SignInPage::defaultEmail,
                          const std::string &name = SignInPage::defaultName)
    {
        auto form = authorizeItems();
        form.emplace("name", name);
        form.emplace("email", email);
        const auto result = client().Post("/user_management/authorize", form);
        EXPECT_TRUE(result);
        if (!result || result->status != 302)
            return {};
        const auto location = result->get_header_value("Location");
        const auto start = location.find("code=") + 5;
        return location.substr(start, location.find('&', start) - start);
    }

    httplib::Result exchange(const Json &body)
    {
        return client().Post("/user_management/authenticate", body.dump(), "application/json");
    }

    Json tokenRequest(const std::string &code) const
    {
        return {{"grant_type", "authorization_code"},
                {"client_id", clientId},
                {"code", code},
                {"code_verifier", verifier}};
    }

    // Signs a user in and gives the user's id.
    std::string signIn(const std::string &email = SignInPage::defaultEmail)
    {
        const auto result = exchange(tokenRequest(authorize(email)));
        EXPECT_TRUE(result && result->status == 200);
        return json(result)["user"]["id"].get<std::string>();
    }

    httplib::Result chat(const Json &body, const std::string &token = apiToken)
    {
        return client().Post("/api/v1/chat/stream", {{"Authorization", "Bearer " + token}},
                             body.dump(), "application/json");
    }

    static Json chatBody(const std::string &text, const std::string &userId)
    {
        Json body{{"messages", {{{"role", "user"}, {"content", text}}}},
                  {"prompt_type", "text"},
                  {"client", "vessa_mac"}};
        if (!userId.empty())
            body["workos_user_id"] = userId;
        return body;
    }

    static std::vector<StreamedEvent> events(const std::string &body)
    {
        std::vector<StreamedEvent> events;
        std::string name;
        std::size_t start = 0;
        while (start < body.size()) {
            auto end = body.find('\n', start);
            if (end == std::string::npos)
                end = body.size();
            const auto line = body.substr(start, end - start);
            if (line.starts_with("event: "))
                name = line.substr(7);
            else if (line.starts_with("data: "))
                events.push_back({name, Json::parse(line.substr(6))});
            start = end + 1;
        }
        return events;
    }

    static std::string replyText(const std::vector<StreamedEvent> &events)
    {
        std::string text;
        for (const auto &event : events)
            if (event.name == "content_delta")
                text += event.data["delta"].get<std::string>();
        return text;
    }

    QTemporaryDir dataDirectory;
    std::atomic<long long> clockOffset{0};
    std::unique_ptr<LocalServer> server;
};
