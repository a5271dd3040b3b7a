#include "chat/ChatStream.h"

#include "chat/DeltaSplitter.h"
#include "http/ServerSentEvents.h"
#include "support/Crypto.h"
#include "tools/ToolBox.h"

#include <utility>

ChatStream::ChatStream(AssistantContext context_, ToolBox &tools_,
                       std::optional<std::string> userId_)
    : context(std::move(context_))
    , tools(tools_)
    , userId(std::move(userId_))
{}

std::optional<ChatStream::Event> ChatStream::next()
{
    while (queue.empty() && !finished) {
        try {
            advance();
        } catch (const std::exception &) {
            queue.clear();
            push("error",
                 {{"error", "The assistant failed to answer"}, {"code", "internal_error"}});
            finished = true;
        }
    }
    if (queue.empty())
        return std::nullopt;
    auto event = std::move(queue.front());
    queue.pop_front();
    return event;
}

void ChatStream::advance()
{
    if (rounds == maxToolRounds) {
        answer("I ran out of steps for this request. Please try asking in a simpler way.");
        return;
    }
    const auto step = Assistant::next(context);
    if (step.tools.empty()) {
        answer(step.text);
        return;
    }
    ++rounds;
    runTools(step.tools);
}

void ChatStream::runTools(const std::vector<ToolRequest> &requests)
{
    for (const auto &request : requests) {
        const auto toolId = "toolu_" + Crypto::hex(Crypto::randomBytes(12));
        push("tool_use_start",
             {{"tool_id", toolId}, {"tool", request.name}, {"input", request.arguments}}, 8);
        auto outcome = tools.run(userId.value(), request);
        push("tool_result",
             {{"tool_id", toolId}, {"result", outcome.text}, {"is_error", outcome.isError}});
        context.outcomes.push_back(std::move(outcome));
    }
    push("message_complete", nlohmann::ordered_json::object());
}

void ChatStream::answer(const std::string &text)
{
    for (auto &delta : DeltaSplitter::split(text))
        push("content_delta", {{"delta", std::move(delta)}});
    push("message_complete", nlohmann::ordered_json::object());
    finished = true;
}

void ChatStream::push(const std::string &event, nlohmann::ordered_json data, int beats)
{
    nlohmann::ordered_json typed{{"type", event}};
    typed.update(data);
    queue.push_back(Event{ServerSentEvents::format(event, typed), beats});
}
