// Arbitrary bytes through the JSON parser and every dynamically typed decoder: whatever decodes
// must survive encode -> decode unchanged, and must describe itself without crashing.
#include "model/AnyCodable.h"
#include "model/AnyCodableValue.h"
#include "model/DecodingError.h"
#include "model/ToolCall.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkAnyCodable(const nlohmann::ordered_json &json)
{
    try {
        const auto decoded = AnyCodable::decode(json);
        const auto encoded = decoded.encode();
        const auto again = AnyCodable::decode(encoded);
        require(again == decoded);
        require(again.encode() == encoded);
        require(!decoded.description().empty() ||
                std::holds_alternative<std::string>(decoded.value()));
    } catch (const DecodingError &) {
    }
}

void checkAnyCodableValue(const nlohmann::ordered_json &json)
{
    try {
        const auto decoded = AnyCodableValue::decode(json);
        const auto again = AnyCodableValue::decode(decoded.encode());
        require(again == decoded);
    } catch (const DecodingError &) {
    }
}

void checkToolCall(const nlohmann::ordered_json &json)
{
    ToolCall decoded;
    try {
        decoded = json.get<ToolCall>();
    } catch (const nlohmann::ordered_json::exception &) {
        return;
    } catch (const DecodingError &) {
        return;
    }
    const nlohmann::ordered_json encoded = decoded;
    require(encoded.get<ToolCall>() == decoded);
    require(encoded.contains("result") == decoded.result.has_value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto json = nlohmann::ordered_json::parse(data, data + size, nullptr, false);
    if (json.is_discarded())
        return 0;
    checkAnyCodable(json);
    checkAnyCodableValue(json);
    checkToolCall(json);
    return 0;
}
