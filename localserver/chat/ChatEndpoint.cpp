#include "chat/ChatEndpoint.h"

#include "chat/ChatRequest.h"
#include "chat/ChatStream.h"
#include "chat/Pacer.h"
#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "storage/Database.h"
#include "support/Calendar.h"

#include <memory>

ChatEndpoint::ChatEndpoint(const LocalServerOptions &options_, Database &database_, ToolBox &tools_,
                           Pacer &pacer_)
    : options(options_)
    , database(database_)
    , tools(tools_)
    , pacer(pacer_)
{}

void ChatEndpoint::stream(const httplib::Request &request, httplib::Response &response)
{
    JsonHttp::requireBearer(request, options.apiToken);
    const auto chat = ChatRequest::parse(JsonHttp::parseObject(request));
    const auto profile = chat.userId ? database.profile(*chat.userId) : std::nullopt;
    if (chat.userId && !profile)
        throw ApiError(401, "unknown_user", "No such user: sign in again");

    const auto now = options.clock();
    AssistantContext context;
    context.userText = chat.text;
    context.imageCount = chat.imageCount;
    context.signedIn = profile.has_value();
    if (profile) {
        context.firstName = profile->firstName;
        context.aiName = profile->aiName;
    }
    context.today = Calendar::day(now);
    context.yesterday = Calendar::dayBefore(now, 1);
    context.hour = Calendar::hour(now);
    auto reply = std::make_shared<ChatStream>(std::move(context), tools, chat.userId);

    response.set_header("Cache-Control", "no-cache");
    response.set_header("X-Accel-Buffering", "no");
    response.set_chunked_content_provider(
        "text/event-stream", [reply, &pacer = pacer](std::size_t, httplib::DataSink &sink) {
            const auto event = reply->next();
            if (!event) {
                sink.done();
                return true;
            }
            // A client that went away, or a server that stops, ends the stream here.
            return sink.write(event->text.data(), event->text.size()) && pacer.pause(event->beats);
        });
}
