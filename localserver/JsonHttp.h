#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

class ApiError;

// The JSON side of every endpoint: replies, error bodies and the checks every request shares.
namespace JsonHttp {

// Compact UTF-8 JSON; text that is not valid UTF-8 is replaced rather than failing the reply.
std::string serialize(const nlohmann::ordered_json &value);
void send(httplib::Response &response, int status, const nlohmann::ordered_json &body);
void sendError(httplib::Response &response, const ApiError &error);

// The request body as a JSON object; throws ApiError 400 when it is not one.
nlohmann::ordered_json parseObject(const httplib::Request &request);
// Throws ApiError 400 "invalid_request" with the message.
[[noreturn]] void rejectRequest(const std::string &message);
// Whether the object has the key with a string value.
bool hasString(const nlohmann::ordered_json &object, const char *key);
// The credential after "Bearer " in the Authorization header, if there is one.
std::optional<std::string> bearerToken(const httplib::Request &request);
// Throws ApiError 401 unless the request carries exactly this bearer token.
void requireBearer(const httplib::Request &request, const std::string &token);

} // namespace JsonHttp
