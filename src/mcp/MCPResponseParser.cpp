#include "mcp/MCPResponseParser.h"

#include <algorithm>

namespace MCPResponseParser {

namespace {

constexpr std::string_view dataPrefix = "data:";

std::string_view trimmed(std::string_view text, std::string_view blanks)
{
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Calls visit(line) for each piece of the body between line feeds.
template<typename Visit> void forEachLine(std::string_view body, Visit visit)
{
    for (std::size_t start = 0; start <= body.size();) {
        const auto end = std::min(body.find('\n', start), body.size());
        visit(body.substr(start, end - start));
        start = end + 1;
    }
}

// The payload of a data line, or none for any other line.
std::optional<std::string_view> dataPayload(std::string_view line, std::string_view blanks)
{
    const auto content = trimmed(line, blanks);
    if (!content.starts_with(dataPrefix))
        return std::nullopt;
    return trimmed(content.substr(dataPrefix.size()), blanks);
}

} // namespace

std::string parseSSEResponse(std::string_view body)
{
    std::string joined;
    forEachLine(body, [&joined](std::string_view line) {
        if (const auto payload = dataPayload(line, " \t"))
            joined += *payload;
    });
    return joined;
}

std::vector<std::string> eventPayloads(std::string_view body)
{
    // Lines may end in CRLF, so a carriage return counts as blank here: otherwise the blank line
    // that ends an event would not look blank.
    constexpr std::string_view blanks = " \t\r";
    std::vector<std::string> payloads;
    std::optional<std::string> current;
    const auto endEvent = [&payloads, &current] {
        if (current)
            payloads.push_back(std::move(*current));
        current.reset();
    };
    forEachLine(body, [&](std::string_view line) {
        if (trimmed(line, blanks).empty())
            endEvent();
        else if (const auto payload = dataPayload(line, blanks)) {
            if (!current)
                current.emplace();
            current->append(*payload);
        }
    });
    endEvent();
    return payloads;
}

std::vector<AnyCodable::Object> extractTools(const AnyCodable::Object &response)
{
    const auto *result = objectMember(response, "result");
    return result ? objectListMember(*result, "tools") : std::vector<AnyCodable::Object>{};
}

std::optional<std::string> extractError(const AnyCodable::Object &response)
{
    const auto *error = objectMember(response, "error");
    const auto *message = error ? textMember(*error, "message") : nullptr;
    return message ? std::optional(*message) : std::nullopt;
}

std::optional<AnyCodable::Object> extractResult(const AnyCodable::Object &response)
{
    const auto *result = objectMember(response, "result");
    return result ? std::optional(*result) : std::nullopt;
}

const AnyCodable::Object *objectMember(const AnyCodable::Object &object, const std::string &key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr
                                 : std::get_if<AnyCodable::Object>(&found->second.value());
}

const std::string *textMember(const AnyCodable::Object &object, const std::string &key)
{
    const auto found = object.find(key);
    return found == object.end() ? nullptr : std::get_if<std::string>(&found->second.value());
}

std::vector<AnyCodable::Object> objectListMember(const AnyCodable::Object &object,
                                                 const std::string &key)
{
    const auto found = object.find(key);
    const auto *list =
        found == object.end() ? nullptr : std::get_if<AnyCodable::List>(&found->second.value());
    if (!list)
        return {};
    std::vector<AnyCodable::Object> objects;
    objects.reserve(list->size());
    for (const auto &element : *list) {
        const auto *member = std::get_if<AnyCodable::Object>(&element.value());
        if (!member)
            return {};
        objects.push_back(*member);
    }
    return objects;
}

} // namespace MCPResponseParser
