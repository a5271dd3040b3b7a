#pragma once

#include "model/ToolCall.h"

#include <QString>
#include <QVariantMap>

// What a tool card shows of a tool call: a readable name, the input as JSON, the output cut to a
// length the card can hold, and whether there is anything to expand.
class ToolCallCard
{
public:
    // Outputs longer than this many characters are cut and end in "...".
    static constexpr qsizetype outputLength = 500;

    // "log_meal" reads "Log Meal": underscores become spaces and every word is capitalised.
    static QString displayName(const QString &name);
    // Pretty-printed JSON with sorted keys.
    static QString formattedInput(const ToolCall::Input &input);
    static QString outputText(const QString &result);

    // For the card's delegate: "id", "displayName", "isExecuting", "hasResult", "hasInput",
    // "hasDetails", "input" and "output".
    static QVariantMap present(const ToolCall &toolCall);
};
