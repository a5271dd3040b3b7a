#include "model/ToolCall.h"

#include <string>
#include <utility>

namespace {

ToolCall::Input decodeInput(const nlohmann::ordered_json &json)
{
    // The same failure nlohmann reports for any map-typed field that is not an object.
    if (!json.is_object())
        throw nlohmann::ordered_json::type_error::create(
            302, "type must be object, but is " + std::string(json.type_name()), &json);
    ToolCall::Input input;
    input.reserve(json.size());
    for (const auto &[key, value] : json.items())
        input.emplace(key, AnyCodable::decode(value));
    return input;
}

} // namespace

QVariant ToolCall::resultValue() const
{
    return result ? QVariant(*result) : QVariant();
}

bool operator==(const ToolCall &left, const ToolCall &right)
{
    return left.id == right.id && left.name == right.name &&
           AnyCodable::equal(left.input, right.input) && left.result == right.result &&
           left.isExecuting == right.isExecuting;
}

void to_json(nlohmann::ordered_json &json, const ToolCall &toolCall)
{
    json = nlohmann::ordered_json::object();
    json["id"] = toolCall.id.toStdString();
    json["name"] = toolCall.name.toStdString();
    json["input"] = AnyCodable(toolCall.input).encode();
    if (toolCall.result)
        json["result"] = toolCall.result->toStdString();
    json["isExecuting"] = toolCall.isExecuting;
}

void from_json(const nlohmann::ordered_json &json, ToolCall &toolCall)
{
    ToolCall decoded;
    decoded.id = QString::fromStdString(json.at("id").get<std::string>());
    decoded.name = QString::fromStdString(json.at("name").get<std::string>());
    decoded.input = decodeInput(json.at("input"));
    if (const auto result = json.find("result"); result != json.end() && !result->is_null())
        decoded.result = QString::fromStdString(result->get<std::string>());
    decoded.isExecuting = json.at("isExecuting").get<bool>();
    toolCall = std::move(decoded);
}
