#pragma once

#include "tools/ToolOutcome.h"
#include "tools/ToolRequest.h"

#include <string>
#include <vector>

// What the assistant knows when it decides its next step of one reply.
struct AssistantContext
{
    std::string userText;
    int imageCount = 0;
    // Without a signed-in user there is no diary or todo list to work on.
    bool signedIn = false;
    std::string firstName;
    std::string aiName = "Vessa";
    std::string today;
    std::string yesterday;
    // The local hour, 0 to 23, which decides the meal when the user names none.
    int hour = 12;
    // The tools already run for this reply, in order.
    std::vector<ToolOutcome> outcomes;
};

// Either tools to run before the assistant decides again, or its final answer in Markdown.
struct AssistantStep
{
    std::vector<ToolRequest> tools;
    std::string text;
};

// A small rule-based assistant. Requests about meals, calories and todos become calls of the
// server's tools followed by an answer built from their results; anything else gets an answer
// that shows what the client's Markdown rendering can do.
namespace Assistant {

AssistantStep next(const AssistantContext &context);

} // namespace Assistant
