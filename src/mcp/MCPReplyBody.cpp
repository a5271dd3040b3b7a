#include "mcp/MCPReplyBody.h"

#include "mcp/MCPError.h"
#include "mcp/MCPResponseParser.h"
#include "model/DecodingError.h"
#include "model/Graphemes.h"
#include "model/Log.h"
#include "model/Utf8Text.h"

#include <QString>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace MCPReplyBody {

namespace {

void log(const QString &message)
{
    Log::write(QStringLiteral("[MCPService] ") + message);
}

// Text that is not JSON fails as the parser says. JSON this client cannot hold (a number beyond
// a double's range, nesting deeper than any value may go) is an invalid response: the parser's
// out-of-range error is not one the service promises.
AnyCodable parsed(std::string_view text)
{
    nlohmann::ordered_json json;
    try {
        json = nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::json::parse_error &) {
        throw;
    } catch (const nlohmann::json::exception &) {
        throw MCPError::invalidResponse();
    }
    try {
        return AnyCodable::decode(json);
    } catch (const DecodingError &) {
        throw MCPError::invalidResponse();
    }
}

bool isReply(const AnyCodable::Object &message)
{
    return message.count("result") > 0 || message.count("error") > 0;
}

AnyCodable::Object decodeJSON(const QByteArray &body)
{
    const AnyCodable reply =
        parsed(std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
    const auto *object = std::get_if<AnyCodable::Object>(&reply.value());
    if (!object)
        throw MCPError::invalidResponse();
    return *object;
}

} // namespace

AnyCodable::Object read(QByteArrayView contentType, const QByteArray &body)
{
    log(QStringLiteral("Content-Type: ") + QString::fromUtf8(contentType));
    if (const auto text = Utf8Text::decoded(body)) {
        log(QStringLiteral("Raw response (%1 bytes): %2")
                .arg(QString::number(body.size()), Graphemes::prefix(*text, 500).toString()));
    }
    if (contentType.contains("text/event-stream"))
        return decodeEventStream(body);
    if (!body.isEmpty())
        return decodeJSON(body);
    log(QStringLiteral("Empty response, returning empty result"));
    return {{"result", AnyCodable::Object{}}};
}

AnyCodable::Object decodeEventStream(const QByteArray &body)
{
    if (!Utf8Text::decoded(body))
        throw MCPError::invalidResponse();
    auto payloads = MCPResponseParser::eventPayloads(body.toStdString());
    if (payloads.empty())
        payloads.emplace_back();

    // A notification that cannot be read must not hide the reply after it; its failure is
    // reported only when no reply turns up.
    std::exception_ptr failure;
    for (const auto &payload : payloads) {
        log(QStringLiteral("Extracted JSON data length: ") +
            QString::number(Graphemes::count(QString::fromStdString(payload))));
        if (payload.empty())
            continue;
        AnyCodable message;
        try {
            message = parsed(payload);
        } catch (const nlohmann::json::parse_error &) {
            if (!failure)
                failure = std::current_exception();
            continue;
        } catch (const MCPError &) {
            if (!failure)
                failure = std::current_exception();
            continue;
        }
        const auto *object = std::get_if<AnyCodable::Object>(&message.value());
        if (object && isReply(*object))
            return *object;
    }
    if (failure)
        std::rethrow_exception(failure);
    log(QStringLiteral("Failed to parse JSON: ") +
        Graphemes::prefix(QString::fromStdString(payloads.back()), 200).toString());
    throw MCPError::invalidResponse();
}

} // namespace MCPReplyBody
