#include "model/JSONDecoding.h"

#include <cmath>
#include <limits>
#include <string>

namespace JSONDecoding {

std::optional<std::int64_t> exactInteger(const nlohmann::ordered_json &json)
{
    using Kind = nlohmann::ordered_json::value_t;
    switch (json.type()) {
    case Kind::number_integer:
        return json.get<std::int64_t>();
    case Kind::number_unsigned: {
        const auto value = json.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    case Kind::number_float: {
        // -2^63 and 2^63 are exact doubles; the range is half-open because 2^63 itself overflows.
        constexpr double lowest = -9223372036854775808.0;
        constexpr double beyondHighest = 9223372036854775808.0;
        const auto value = json.get<double>();
        if (!(value >= lowest && value < beyondHighest) || std::trunc(value) != value)
            return std::nullopt;
        return static_cast<std::int64_t>(value);
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> optionalString(const nlohmann::ordered_json &object, const char *key)
{
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return std::nullopt;
    return QString::fromStdString(found->get<std::string>());
}

} // namespace JSONDecoding
