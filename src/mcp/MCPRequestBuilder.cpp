#include "mcp/MCPRequestBuilder.h"

#include <chrono>
#include <utility>

namespace MCPRequestBuilder {

std::int64_t timestampId()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

AnyCodable::Object buildRequest(const std::string &method, std::optional<AnyCodable::Object> params,
                                std::optional<std::int64_t> id)
{
    AnyCodable::Object request{
        {"jsonrpc", "2.0"},
        {"id", id.value_or(timestampId())},
        {"method", method},
    };
    if (params)
        request.emplace("params", std::move(*params));
    return request;
}

AnyCodable::Object buildInitializeRequest(const std::string &protocol, const std::string &client,
                                          const std::string &release)
{
    return buildRequest("initialize", AnyCodable::Object{
                                          {"protocolVersion", protocol},
                                          {"capabilities", AnyCodable::Object{}},
                                          {"clientInfo",
                                           AnyCodable::Object{
                                               {"name", client},
                                               {"version", release},
                                           }},
                                      });
}

AnyCodable::Object buildInitializedNotification()
{
    return {
        {"jsonrpc", "2.0"},
        {"method", "notifications/initialized"},
    };
}

AnyCodable::Object buildListToolsRequest()
{
    return buildRequest("tools/list");
}

AnyCodable::Object buildCallToolParams(const std::string &name, AnyCodable::Object arguments)
{
    return {
        {"name", name},
        {"arguments", std::move(arguments)},
    };
}

AnyCodable::Object buildCallToolRequest(const std::string &name, AnyCodable::Object arguments)
{
    return buildRequest("tools/call", buildCallToolParams(name, std::move(arguments)));
}

} // namespace MCPRequestBuilder
