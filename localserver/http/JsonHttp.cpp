#include "http/JsonHttp.h"

#include "common/JsonNesting.h"
#include "http/ApiError.h"

#include <algorithm>
#include <cctype>

namespace JsonHttp {

bool nestsTooDeeply(std::string_view text)
{
    return JsonNesting::exceeds(text, maximumDepth);
}

std::string serialize(const nlohmann::ordered_json &value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void send(httplib::Response &response, int status, const nlohmann::ordered_json &body)
{
    response.status = status;
    response.set_header("Cache-Control", "no-store");
    response.set_content(serialize(body), "application/json");
}

void sendError(httplib::Response &response, const ApiError &error)
{
    send(response, error.status(), error.body());
}

bool hasMediaType(const httplib::Request &request, std::string_view type)
{
    const auto header = request.get_header_value("Content-Type");
    auto named = std::string_view(header).substr(0, header.find(';'));
    while (!named.empty() && (named.back() == ' ' || named.back() == '\t'))
        named.remove_suffix(1);
    return std::ranges::equal(named, type, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

nlohmann::ordered_json parseObject(const httplib::Request &request)
{
    // A web page may send text/plain or a form to this server without asking; JSON it may not.
    if (!hasMediaType(request, "application/json"))
        throw ApiError(415, "unsupported_media_type", "Send the body as application/json");
    if (nestsTooDeeply(request.body))
        throw ApiError(400, "invalid_json",
                       "The request body nests deeper than " + std::to_string(maximumDepth) +
                           " levels");
    auto body = nlohmann::ordered_json::parse(request.body, nullptr, false);
    if (body.is_discarded())
        throw ApiError(400, "invalid_json", "The request body is not valid JSON");
    if (!body.is_object())
        throw ApiError(400, "invalid_request", "The request body must be a JSON object");
    return body;
}

std::optional<std::string> bearerToken(const httplib::Request &request)
{
    static constexpr std::string_view prefix = "Bearer ";
    const auto header = request.get_header_value("Authorization");
    if (header.size() <= prefix.size() || header.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return header.substr(prefix.size());
}

void requireBearer(const httplib::Request &request, const std::string &token)
{
    if (bearerToken(request) != token)
        throw ApiError(401, "unauthorized", "Missing or invalid bearer token");
}

void rejectRequest(const std::string &message)
{
    throw ApiError(400, "invalid_request", message);
}

bool hasString(const nlohmann::ordered_json &object, const char *key)
{
    return object.contains(key) && object[key].is_string();
}

} // namespace JsonHttp
