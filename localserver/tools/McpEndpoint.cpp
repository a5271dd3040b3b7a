#include "tools/McpEndpoint.h"

#include "http/JsonHttp.h"
#include "http/JsonValue.h"
#include "http/ServerSentEvents.h"
#include "storage/Database.h"
#include "tools/InvalidToolCall.h"
#include "tools/ToolBox.h"

#include <algorithm>

namespace {

using Json = nlohmann::ordered_json;

// JSON-RPC error codes.
constexpr int parseError = -32700;
constexpr int invalidRequest = -32600;
constexpr int methodNotFound = -32601;
constexpr int invalidParams = -32602;
constexpr int internalError = -32603;
constexpr int serverError = -32000;

Json rpcError(const Json &id, int code, const std::string &message)
{
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

Json rpcResult(const Json &id, Json result)
{
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

// A failure of the HTTP exchange itself: plain JSON with the status.
void sendFailure(httplib::Response &response, int status, int code, const std::string &message)
{
    JsonHttp::send(response, status, rpcError(nullptr, code, message));
}

void sendMessages(httplib::Response &response, const Json &messages)
{
    response.status = 200;
    response.set_header("Cache-Control", "no-cache");
    response.set_content(ServerSentEvents::format("message", messages), "text/event-stream");
}

bool hasValidId(const Json &message)
{
    const auto &id = JsonValue::member(message, "id");
    return !message.contains("id") || id.is_string() || id.is_number();
}

bool isWellFormed(const Json &message)
{
    if (!message.is_object() || JsonValue::member(message, "jsonrpc") != "2.0" ||
        !hasValidId(message))
        return false;
    if (message.contains("method"))
        return JsonValue::member(message, "method").is_string();
    return message.contains("id") && (message.contains("result") || message.contains("error"));
}

bool isInitialize(const Json &message)
{
    return JsonValue::member(message, "method") == "initialize";
}

// The id to answer with: null when the message has none that a reply may carry.
const Json &idOf(const Json &message)
{
    static const Json none;
    return hasValidId(message) ? JsonValue::member(message, "id") : none;
}

bool acceptsEventStream(const httplib::Request &request)
{
    if (!request.has_header("Accept"))
        return true;
    const auto accept = request.get_header_value("Accept");
    return accept.find("text/event-stream") != std::string::npos ||
           accept.find("*/*") != std::string::npos;
}

} // namespace

McpEndpoint::McpEndpoint(Database &database_, ToolBox &tools_)
    : database(database_)
    , tools(tools_)
{}

std::optional<std::string> McpEndpoint::authorize(const httplib::Request &request,
                                                  httplib::Response &response)
{
    const auto userId = JsonHttp::bearerToken(request);
    if (!userId || !database.profile(*userId)) {
        sendFailure(response, 401, serverError,
                    "Unauthorized: the bearer must name a signed-in user");
        return std::nullopt;
    }
    return userId;
}

std::optional<std::string> McpEndpoint::sessionUser(const httplib::Request &request,
                                                    httplib::Response &response,
                                                    const std::string &userId)
{
    if (!request.has_header(sessionHeader)) {
        sendFailure(response, 400, serverError, "Bad Request: Mcp-Session-Id header is required");
        return std::nullopt;
    }
    // A session is found only by the user who opened it.
    if (sessions.userOf(request.get_header_value(sessionHeader)) != userId) {
        sendFailure(response, 404, serverError, "Session not found");
        return std::nullopt;
    }
    return userId;
}

void McpEndpoint::post(const httplib::Request &request, httplib::Response &response)
{
    const auto userId = authorize(request, response);
    if (!userId)
        return;
    if (!acceptsEventStream(request)) {
        sendFailure(response, 406, serverError, "Not Acceptable: accept text/event-stream");
        return;
    }
    if (!JsonHttp::hasMediaType(request, "application/json")) {
        sendFailure(response, 415, serverError, "Unsupported Media Type: send application/json");
        return;
    }
    const auto body = JsonHttp::nestsTooDeeply(request.body)
                          ? Json(Json::value_t::discarded)
                          : Json::parse(request.body, nullptr, false);
    if (body.is_discarded()) {
        sendFailure(response, 400, parseError, "Parse error");
        return;
    }
    if (!(body.is_object() || (body.is_array() && !body.empty()))) {
        sendFailure(response, 400, invalidRequest, "Invalid Request");
        return;
    }
    if (isInitialize(body)) {
        initialize(body, *userId, response);
        return;
    }
    if (body.is_array() && std::ranges::any_of(body, isInitialize)) {
        sendFailure(response, 400, invalidRequest,
                    "Invalid Request: initialize must be sent alone");
        return;
    }
    if (!sessionUser(request, response, *userId))
        return;

    Json replies = Json::array();
    const auto answer = [&](const Json &message) {
        if (auto reply = handle(message, *userId); !reply.is_null())
            replies.push_back(std::move(reply));
    };
    if (body.is_array())
        std::ranges::for_each(body, answer);
    else
        answer(body);
    if (replies.empty()) {
        response.status = 202;
        return;
    }
    sendMessages(response, body.is_array() ? replies : replies.front());
}

void McpEndpoint::initialize(const Json &message, const std::string &userId,
                             httplib::Response &response)
{
    const auto &params = JsonValue::member(message, "params");
    if (!isWellFormed(message) || !message.contains("id")) {
        sendFailure(response, 400, invalidRequest, "Invalid Request");
        return;
    }
    if (!JsonValue::member(params, "protocolVersion").is_string()) {
        JsonHttp::send(
            response, 400,
            rpcError(message["id"], invalidParams, "Invalid params: protocolVersion is required"));
        return;
    }
    response.set_header(sessionHeader, sessions.open(userId));
    sendMessages(response,
                 rpcResult(message["id"],
                           {{"protocolVersion", protocolVersion},
                            {"capabilities", {{"tools", {{"listChanged", false}}}}},
                            {"serverInfo", {{"name", "vessa-localserver"}, {"version", "1.0.0"}}},
                            {"instructions", "Tools for the signed-in user's food diary, todo "
                                             "list and calorie totals."}}));
}

Json McpEndpoint::handle(const Json &message, const std::string &userId)
{
    if (!isWellFormed(message))
        return rpcError(idOf(message), invalidRequest, "Invalid Request");
    if (!message.contains("method") || !message.contains("id"))
        return nullptr;
    const auto &id = message["id"];
    const auto &method = message["method"].get_ref<const std::string &>();
    // Absent params read as an empty object: every member of it is missing.
    const auto &params = JsonValue::member(message, "params");
    if (!params.is_null() && !params.is_object())
        return rpcError(id, invalidParams, "Invalid params: params must be an object");
    if (method == "ping")
        return rpcResult(id, Json::object());
    if (method == "tools/list")
        return rpcResult(id, {{"tools", ToolBox::definitions()}});
    if (method == "tools/call")
        return callTool(id, params, userId);
    return rpcError(id, methodNotFound, "Method not found: " + method);
}

Json McpEndpoint::callTool(const Json &id, const Json &params, const std::string &userId)
{
    const auto &name = JsonValue::member(params, "name");
    if (!name.is_string())
        return rpcError(id, invalidParams, "Invalid params: name must be a string");
    try {
        const auto outcome = tools.call(
            userId, ToolRequest{name.get<std::string>(),
                                JsonValue::memberOr(params, "arguments", Json::object())});
        Json result{{"content", Json::array({{{"type", "text"}, {"text", outcome.text}}})}};
        if (!outcome.structured.is_null())
            result["structuredContent"] = outcome.structured;
        result["isError"] = outcome.isError;
        return rpcResult(id, std::move(result));
    } catch (const InvalidToolCall &error) {
        return rpcError(id, invalidParams, error.what());
    } catch (const std::exception &) {
        return rpcError(id, internalError, "Internal error: the tool could not run");
    }
}

void McpEndpoint::remove(const httplib::Request &request, httplib::Response &response)
{
    const auto userId = authorize(request, response);
    if (!userId || !sessionUser(request, response, *userId))
        return;
    sessions.close(request.get_header_value(sessionHeader));
    response.status = 204;
}

void McpEndpoint::get(const httplib::Request &, httplib::Response &response)
{
    response.set_header("Allow", "POST, DELETE");
    sendFailure(response, 405, serverError, "Method Not Allowed: post JSON-RPC messages");
}
