#pragma once

#include "LocalServerOptions.h"

#include <httplib.h>
#include <optional>

class Database;
class ModelChat;
class Pacer;
class ToolBox;
struct ChatRequest;
struct Profile;

// The streaming chat endpoint: checks the API token and the request body, then streams the
// assistant's reply as server-sent events: the rule-based assistant's at the configured pace, or,
// when a model server is configured, the model's as it arrives.
class ChatEndpoint
{
public:
    static constexpr char path[] = "/api/v1/chat/stream";

    // Without a model chat the rule-based assistant answers.
    ChatEndpoint(const LocalServerOptions &options, Database &database, ToolBox &tools,
                 Pacer &pacer, ModelChat *model);

    void stream(const httplib::Request &request, httplib::Response &response);

private:
    void relayModel(const ChatRequest &chat, const std::optional<Profile> &profile,
                    httplib::Response &response);

    const LocalServerOptions &options;
    Database &database;
    ToolBox &tools;
    Pacer &pacer;
    ModelChat *model;
};
