#pragma once

#include "chat/ModelToolCall.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Reads one streamed chat completion of an OpenAI-compatible server as its bytes arrive: events of
// "data:" lines, each a JSON chunk, until "data: [DONE]". Text is handed on at once; a tool call's
// name and arguments come in pieces and are joined by the call's index. Anything that is not a
// chunk of this format throws ModelError.
class ModelStreamParser
{
public:
    using ContentHandler = std::function<void(const std::string &delta)>;

    // Longest event accepted: a server that never ends a line must not fill the memory.
    static constexpr std::size_t maximumEventBytes = 4 * 1024 * 1024;
    // No tool takes more, and no answer calls more at once; past them the reply ends.
    static constexpr std::size_t maximumArgumentBytes = 64 * 1024;
    static constexpr int maximumToolCalls = 16;

    explicit ModelStreamParser(ContentHandler onContent);

    void feed(std::string_view bytes);
    // Whether "[DONE]" has arrived; what follows it is ignored.
    bool isDone() const { return done; }
    // The tool calls in the order of their indexes.
    std::vector<ModelToolCall> toolCalls() const;
    const std::string &text() const { return content; }
    // Why the model stopped ("stop", "tool_calls", "length", ...), once it said.
    const std::string &finishReason() const { return finish; }

private:
    void takeLine(std::string_view line);
    void dispatch();
    void takeChunk(const std::string &data);
    void takeToolCalls(const auto &calls);

    ContentHandler onContent;
    std::string pending;
    std::string data;
    bool hasData = false;
    bool done = false;
    bool skipLineFeed = false;
    std::string content;
    std::string finish;
    std::map<long long, ModelToolCall> calls;
};
