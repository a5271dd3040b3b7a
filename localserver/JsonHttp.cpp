#include "JsonHttp.h"

#include "ApiError.h"

namespace JsonHttp {

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

nlohmann::ordered_json parseObject(const httplib::Request &request)
{
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
