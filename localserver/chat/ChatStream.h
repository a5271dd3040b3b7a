#pragma once

#include "chat/Assistant.h"

#include <deque>
#include <optional>
#include <string>

class ToolBox;

// One reply of the chat endpoint as server-sent events, produced step by step as the stream is
// written: for each round of tools a "tool_use_start" and a "tool_result" per tool and a
// "message_complete", then the answer as "content_delta" events of a few words and a last
// "message_complete". A failure of the server ends the stream with an "error" event.
class ChatStream
{
public:
    struct Event
    {
        std::string text;
        // How many pace beats to wait after the event: a tool takes a moment to run.
        int beats = 1;
    };

    // Rounds of tool calls one reply may make before the assistant must answer.
    static constexpr int maxToolRounds = 4;

    ChatStream(AssistantContext context, ToolBox &tools, std::optional<std::string> userId);

    // The next event, or none once the reply is complete.
    std::optional<Event> next();

private:
    void advance();
    void runTools(const std::vector<ToolRequest> &requests);
    void answer(const std::string &text);
    void push(const std::string &event, nlohmann::ordered_json data, int beats = 1);

    AssistantContext context;
    ToolBox &tools;
    std::optional<std::string> userId;
    std::deque<Event> queue;
    int rounds = 0;
    bool finished = false;
};
