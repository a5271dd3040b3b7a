#include "support/Text.h"

#include <algorithm>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

} // namespace

namespace Text {

bool isValidUtf8(std::string_view text)
{
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        std::size_t length = 0;
        unsigned minimum = 0;
        unsigned value = 0;
        if (lead < 0x80U) {
            ++index;
            continue;
        }
        if ((lead & 0xE0U) == 0xC0U) {
            length = 2;
            minimum = 0x80U;
            value = lead & 0x1FU;
        } else if ((lead & 0xF0U) == 0xE0U) {
            length = 3;
            minimum = 0x800U;
            value = lead & 0x0FU;
        } else if ((lead & 0xF8U) == 0xF0U) {
            length = 4;
            minimum = 0x10000U;
            value = lead & 0x07U;
        } else {
            return false;
        }
        if (index + length > text.size())
            return false;
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto byte = static_cast<unsigned char>(text[index + offset]);
            if (!isContinuation(byte))
                return false;
            value = (value << 6U) | (byte & 0x3FU);
        }
        // Overlong forms, UTF-16 surrogates and values past the last code point are not UTF-8.
        if (value < minimum || (value >= 0xD800U && value <= 0xDFFFU) || value > 0x10FFFFU)
            return false;
        index += length;
    }
    return true;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text)
{
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

std::string_view truncate(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    auto end = maxBytes;
    while (end > 0 && isContinuation(static_cast<unsigned char>(text[end])))
        --end;
    return text.substr(0, end);
}

bool hasControlCharacters(std::string_view text)
{
    return std::ranges::any_of(text, [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20U || byte == 0x7FU;
    });
}

} // namespace Text
