#include "chat/FlatJsonObjectParser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace {

using Json = nlohmann::ordered_json;

unsigned byteValue(char c)
{
    return static_cast<unsigned char>(c);
}

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Bytes that stand for themselves inside a JSON string: printable ASCII but the quote and the
// backslash. A table keeps the scan of string content at one load and one test per byte.
constexpr std::array<bool, 256> plainStringBytes = [] {
    std::array<bool, 256> plain{};
    for (unsigned value = 0x20; value < 0x80; ++value)
        plain[value] = value != '"' && value != '\\';
    return plain;
}();

bool isPlainStringByte(char c)
{
    return plainStringBytes[byteValue(c)];
}

// The end of the run of plain bytes that starts at from. Strings are short and many, so the
// search tests eight bytes per step where it can; in each flag below, a byte can be flagged
// wrongly only after a byte that is flagged rightly, so the first flag is exact.
std::size_t plainRunEnd(std::string_view text, std::size_t from)
{
    std::size_t at = from;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t ones = 0x0101010101010101;
        constexpr std::uint64_t highBits = 0x8080808080808080;
        while (text.size() - at >= sizeof(std::uint64_t)) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, sizeof word);
            const std::uint64_t quotes = word ^ (ones * '"');
            const std::uint64_t backslashes = word ^ (ones * '\\');
            const std::uint64_t flags =
                (word | ((word - ones * 0x20) & ~word) | ((quotes - ones) & ~quotes) |
                 ((backslashes - ones) & ~backslashes)) &
                highBits;
            if (flags != 0)
                return at + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
            at += sizeof(std::uint64_t);
        }
    }
    while (at < text.size() && isPlainStringByte(text[at]))
        ++at;
    return at;
}

// The length of the well-formed UTF-8 sequence that starts at a byte of 0x80 or above, or 0.
// Rejects what the general parser rejects: overlong forms, surrogates, code points past U+10FFFF.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at)
{
    const unsigned lead = byteValue(text[at]);
    std::size_t length = 0;
    unsigned secondLow = 0x80;
    unsigned secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondLow = 0xA0;
        else if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    const unsigned second = byteValue(text[at + 1]);
    if (second < secondLow || second > secondHigh)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        const unsigned next = byteValue(text[at + i]);
        if (next < 0x80 || next > 0xBF)
            return 0;
    }
    return length;
}

// The character a two-character escape stands for; NUL for \u (left to the general parser)
// and for escapes JSON does not have.
char unescaped(char c)
{
    switch (c) {
    case '"':
    case '\\':
    case '/':
        return c;
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    default:
        return '\0';
    }
}

// Each reader returns false as soon as the text leaves the accepted shape.
class Scanner
{
public:
    explicit Scanner(std::string_view input)
        : text(input)
    {}

    std::optional<Json> object()
    {
        skipWhitespace();
        if (!consume('{'))
            return std::nullopt;
        Json result = Json::object();
        auto &members = result.get_ref<Json::object_t &>();
        skipWhitespace();
        if (!consume('}')) {
            do {
                skipWhitespace();
                std::string key;
                if (!readString(key))
                    return std::nullopt;
                skipWhitespace();
                if (!consume(':'))
                    return std::nullopt;
                skipWhitespace();
                if (!readFlatValue(slotFor(members, std::move(key))))
                    return std::nullopt;
                skipWhitespace();
            } while (consume(','));
            if (!consume('}'))
                return std::nullopt;
        }
        skipWhitespace();
        if (position != text.size())
            return std::nullopt;
        return result;
    }

private:
    // Like the general parser: a repeated key keeps its first place and takes the new value.
    static Json &slotFor(Json::object_t &members, std::string &&key)
    {
        const auto existing = std::find_if(members.begin(), members.end(),
                                           [&](const auto &member) { return member.first == key; });
        if (existing != members.end())
            return existing->second;
        return members.emplace_back(std::move(key), nullptr).second;
    }

    void skipWhitespace()
    {
        while (position < text.size() && isWhitespace(text[position]))
            ++position;
    }

    bool consume(char expected)
    {
        if (position == text.size() || text[position] != expected)
            return false;
        ++position;
        return true;
    }

    bool consumeWord(std::string_view word)
    {
        if (text.substr(position, word.size()) != word)
            return false;
        position += word.size();
        return true;
    }

    bool readFlatValue(Json &value)
    {
        if (position == text.size())
            return false;
        switch (text[position]) {
        case '"': {
            std::string content;
            if (!readString(content))
                return false;
            value = std::move(content);
            return true;
        }
        case 't':
            value = true;
            return consumeWord("true");
        case 'f':
            value = false;
            return consumeWord("false");
        case 'n':
            value = nullptr;
            return consumeWord("null");
        default:
            return false;
        }
    }

    // Finds the end of the string while checking it, then copies it in one piece; escapes are
    // rare, so only a string that has them is copied character by character.
    bool readString(std::string &content)
    {
        if (!consume('"'))
            return false;
        const std::size_t start = position;
        bool hasEscapes = false;
        while (true) {
            position = plainRunEnd(text, position);
            if (position == text.size())
                return false;
            const char c = text[position];
            if (c == '"')
                break;
            if (c == '\\') {
                if (position + 1 == text.size() || unescaped(text[position + 1]) == '\0')
                    return false;
                hasEscapes = true;
                position += 2;
            } else if (byteValue(c) >= 0x80) {
                const std::size_t length = utf8SequenceLength(text, position);
                if (length == 0)
                    return false;
                position += length;
            } else {
                return false;
            }
        }
        const std::string_view raw = text.substr(start, position - start);
        ++position;
        if (!hasEscapes) {
            content.assign(raw);
            return true;
        }
        content.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            content.push_back(raw[i] == '\\' ? unescaped(raw[++i]) : raw[i]);
        return true;
    }

    std::string_view text;
    std::size_t position = 0;
};

} // namespace

std::optional<nlohmann::ordered_json> FlatJsonObjectParser::parse(std::string_view text)
{
    return Scanner(text).object();
}
