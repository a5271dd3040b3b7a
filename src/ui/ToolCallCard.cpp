#include "ui/ToolCallCard.h"

#include "model/AnyCodable.h"
#include "model/Graphemes.h"

#include <nlohmann/json.hpp>

QString ToolCallCard::displayName(const QString &name)
{
    QString words = name;
    words.replace(QLatin1Char('_'), QLatin1Char(' '));
    bool startsWord = true;
    for (QChar &character : words) {
        if (character.isSpace()) {
            startsWord = true;
            continue;
        }
        character = startsWord ? character.toUpper() : character.toLower();
        startsWord = false;
    }
    return words;
}

QString ToolCallCard::formattedInput(const ToolCall::Input &input)
{
    // nlohmann::json keeps object keys sorted, which is the order the card shows them in.
    // Text that is not valid UTF-8 is shown with replacement characters rather than dropped.
    constexpr auto replace = nlohmann::json::error_handler_t::replace;
    nlohmann::json object = nlohmann::json::object();
    for (const auto &[key, value] : input)
        object[key] = nlohmann::json::parse(value.encode().dump(-1, ' ', false, replace));
    return QString::fromStdString(object.dump(2, ' ', false, replace));
}

QString ToolCallCard::outputText(const QString &result)
{
    const QStringView head = Graphemes::prefix(result, outputLength);
    if (head.size() == result.size())
        return result;
    return head.toString() + QStringLiteral("...");
}

QVariantMap ToolCallCard::present(const ToolCall &toolCall)
{
    const bool hasInput = !toolCall.input.empty();
    const bool hasResult = toolCall.result.has_value();
    return {
        {QStringLiteral("id"), toolCall.id},
        {QStringLiteral("displayName"), displayName(toolCall.name)},
        {QStringLiteral("isExecuting"), toolCall.isExecuting},
        {QStringLiteral("hasResult"), hasResult},
        {QStringLiteral("hasInput"), hasInput},
        {QStringLiteral("hasDetails"), hasInput || hasResult},
        {QStringLiteral("input"), hasInput ? formattedInput(toolCall.input) : QString()},
        {QStringLiteral("output"), hasResult ? outputText(*toolCall.result) : QString()},
    };
}
