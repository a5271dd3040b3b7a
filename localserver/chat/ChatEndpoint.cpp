#include "chat/ChatEndpoint.h"

#include "chat/ChatRelay.h"
#include "chat/ChatRequest.h"
#include "chat/ChatStream.h"
#include "chat/ModelChat.h"
#include "chat/Pacer.h"
#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "storage/Database.h"
#include "support/Calendar.h"

#include <memory>

ChatEndpoint::ChatEndpoint(const LocalServerOptions &options_, Database &database_, ToolBox &tools_,
                           Pacer &pacer_, ModelChat *model_)
    : options(options_)
    , database(database_)
    , tools(tools_)
    , pacer(pacer_)
    , model(model_)
{}

void ChatEndpoint::stream(const httplib::Request &request, httplib::Response &response)
{
    JsonHttp::requireBearer(request, options.apiToken);
    const auto chat = ChatRequest::parse(JsonHttp::parseObject(request));
    const auto profile = chat.userId ? database.profile(*chat.userId) : std::nullopt;
    if (chat.userId && !profile)
        throw ApiError(401, "unknown_user", "No such user: sign in again");

    response.set_header("Cache-Control", "no-cache");
    response.set_header("X-Accel-Buffering", "no");
    if (model) {
        relayModel(chat, profile, response);
        return;
    }

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

void ChatEndpoint::relayModel(const ChatRequest &chat, const std::optional<Profile> &profile,
                              httplib::Response &response)
{
    ModelChat::Turn turn{chat.text, chat.imageUrls, chat.promptType, profile,
                         Calendar::day(options.clock())};
    auto relay =
        std::make_shared<ChatRelay>([model = model, turn = std::move(turn)](
                                        const ChatRelay::Emit &emit, Cancellation &cancellation) {
            model->reply(turn, emit, cancellation);
        });
    response.set_chunked_content_provider(
        "text/event-stream",
        [relay, &pacer = pacer, checks = 0](std::size_t, httplib::DataSink &sink) mutable {
            const auto events = relay->take([&] {
                // A comment line, which event readers skip, after each half second of silence:
                // it keeps the client's transfer timeout from running out while the model thinks.
                static constexpr char comment[] = ":\n";
                return !pacer.isStopped() && sink.is_writable() &&
                       (++checks % 5 != 0 || sink.write(comment, sizeof comment - 1));
            });
            for (const auto &event : events)
                if (!sink.write(event.data(), event.size())) {
                    relay->cancel();
                    return false;
                }
            if (!events.empty())
                return true;
            if (!relay->hasEnded())
                return false;
            sink.done();
            return true;
        },
        [relay](bool) { relay->cancel(); });
}
