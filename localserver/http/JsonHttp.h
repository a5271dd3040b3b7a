#pragma once

#include <cstddef>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

class ApiError;

// The JSON side of every endpoint: replies, error bodies and the checks every request shares.
namespace JsonHttp {

// Deeper request bodies are refused before they are parsed, so that every recursive walk over a
// parsed body (copy, comparison, serialization) stays well within a request thread's stack.
inline constexpr std::size_t maximumDepth = 512;

// Whether the text nests arrays and objects deeper than maximumDepth. Exact for valid JSON; any
// other text fails to parse anyway.
bool nestsTooDeeply(std::string_view text);

// Compact UTF-8 JSON; text that is not valid UTF-8 is replaced rather than failing the reply.
std::string serialize(const nlohmann::ordered_json &value);
void send(httplib::Response &response, int status, const nlohmann::ordered_json &body);
void sendError(httplib::Response &response, const ApiError &error);

// Whether the request's Content-Type names the media type, whatever its case and parameters.
bool hasMediaType(const httplib::Request &request, std::string_view type);
// The request body as a JSON object; throws ApiError 415 when it is not sent as
// application/json, 400 when it is not a JSON object or nests too deeply.
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
