#include "markdown/UnicodeText.h"

#include <QChar>

namespace {

constexpr bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

} // namespace

UnicodeText::CodePoint UnicodeText::decode(std::string_view text, std::size_t at)
{
    if (at >= text.size())
        return {};
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80U)
        return {lead, 1};

    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0U) == 0xC0U) {
        length = 2;
        value = lead & 0x1FU;
        minimum = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
        length = 3;
        value = lead & 0x0FU;
        minimum = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
        length = 4;
        value = lead & 0x07U;
        minimum = 0x10000;
    } else {
        return {replacementCharacter, 1};
    }
    if (length > text.size() - at)
        return {replacementCharacter, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + i]);
        if (!isContinuation(byte))
            return {replacementCharacter, 1};
        value = (value << 6U) | (byte & 0x3FU);
    }
    // Overlong forms, surrogates and values past the last plane are not characters.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {replacementCharacter, 1};
    return {value, length};
}

UnicodeText::CodePoint UnicodeText::decodeBefore(std::string_view text, std::size_t end)
{
    if (end == 0 || end > text.size())
        return {};
    for (std::size_t length = 1; length <= 4 && length <= end; ++length) {
        const auto byte = static_cast<unsigned char>(text[end - length]);
        if (isContinuation(byte))
            continue;
        const CodePoint candidate = decode(text, end - length);
        if (candidate.length == length)
            return candidate;
        break;
    }
    return {replacementCharacter, 1};
}

bool UnicodeText::isWhiteSpace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0x2028 || c == 0x2029 ||
           (c != 0x09 && isTrimmedSpace(c));
}

bool UnicodeText::isTrimmedSpace(char32_t c)
{
    return c == 0x09 || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

bool UnicodeText::isLineTerminator(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool UnicodeText::isDecimalDigit(char32_t c)
{
    if (c < 0x80)
        return c >= '0' && c <= '9';
    return QChar::isDigit(c);
}

bool UnicodeText::isPunctuation(char32_t c)
{
    if (c < 0x80)
        return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
               (c >= 0x7B && c <= 0x7E);
    return QChar::isPunct(c);
}

std::string_view UnicodeText::trimmed(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const CodePoint c = decode(text, begin);
        if (!isTrimmedSpace(c.value))
            break;
        begin += c.length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const CodePoint c = decodeBefore(text, end);
        if (!isTrimmedSpace(c.value))
            break;
        end -= c.length;
    }
    return text.substr(begin, end - begin);
}

void UnicodeText::appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0U | (c >> 6U));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0U | (c >> 12U));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    } else {
        out += static_cast<char>(0xF0U | (c >> 18U));
        out += static_cast<char>(0x80U | ((c >> 12U) & 0x3FU));
        out += static_cast<char>(0x80U | ((c >> 6U) & 0x3FU));
        out += static_cast<char>(0x80U | (c & 0x3FU));
    }
}
