#include "markdown/HtmlEntity.h"

#include "markdown/UnicodeText.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

constexpr char32_t replacementCharacter = UnicodeText::replacementCharacter;

std::optional<char32_t> numericEntity(std::string_view entity)
{
    // "&#123;" or "&#x1F;", as md4c recognised it.
    const bool hex = entity.size() > 3 && (entity[2] == 'x' || entity[2] == 'X');
    const std::string_view digits = entity.substr(hex ? 3 : 2, entity.size() - (hex ? 4 : 3));
    unsigned long value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size())
        return replacementCharacter;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return replacementCharacter;
    return static_cast<char32_t>(value);
}

std::optional<char32_t> namedEntity(std::string_view entity)
{
    static constexpr std::array<std::pair<std::string_view, char32_t>, 30> names{{
        {"&amp;", U'&'},     {"&lt;", U'<'},       {"&gt;", U'>'},      {"&quot;", U'"'},
        {"&apos;", U'\''},   {"&nbsp;", 0xA0},     {"&copy;", 0xA9},    {"&reg;", 0xAE},
        {"&trade;", 0x2122}, {"&hellip;", 0x2026}, {"&mdash;", 0x2014}, {"&ndash;", 0x2013},
        {"&lsquo;", 0x2018}, {"&rsquo;", 0x2019},  {"&ldquo;", 0x201C}, {"&rdquo;", 0x201D},
        {"&laquo;", 0xAB},   {"&raquo;", 0xBB},    {"&middot;", 0xB7},  {"&bull;", 0x2022},
        {"&times;", 0xD7},   {"&divide;", 0xF7},   {"&deg;", 0xB0},     {"&plusmn;", 0xB1},
        {"&euro;", 0x20AC},  {"&pound;", 0xA3},    {"&sect;", 0xA7},    {"&larr;", 0x2190},
        {"&rarr;", 0x2192},  {"&check;", 0x2713},
    }};
    for (const auto &[name, value] : names) {
        if (name == entity)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<char32_t> HtmlEntity::character(std::string_view entity)
{
    if (entity.size() >= 4 && entity[1] == '#')
        return numericEntity(entity);
    return namedEntity(entity);
}
