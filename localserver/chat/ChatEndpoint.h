#pragma once

#include "LocalServerOptions.h"

#include <httplib.h>

class Database;
class Pacer;
class ToolBox;

// The streaming chat endpoint: checks the API token and the request body, then streams the
// assistant's reply as server-sent events at the configured pace.
class ChatEndpoint
{
public:
    static constexpr char path[] = "/api/v1/chat/stream";

    ChatEndpoint(const LocalServerOptions &options, Database &database, ToolBox &tools,
                 Pacer &pacer);

    void stream(const httplib::Request &request, httplib::Response &response);

private:
    const LocalServerOptions &options;
    Database &database;
    ToolBox &tools;
    Pacer &pacer;
};
