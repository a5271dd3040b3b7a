#pragma once

#include "model/AnyCodable.h"

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <nlohmann/json.hpp>
#include <optional>

// A tool the assistant ran while answering. Plain data: it may be built on any thread and is
// changed in place (result, isExecuting) inside the list of the message that holds it.
struct ToolCall
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QVariant result READ resultValue)
    Q_PROPERTY(bool isExecuting MEMBER isExecuting)

public:
    using Input = AnyCodable::Object;

    QString id;
    QString name;
    // In the order the backend sent the arguments.
    Input input;
    // Absent while the tool runs.
    std::optional<QString> result;
    bool isExecuting = false;

    // The result for QML: a string, or undefined while absent.
    QVariant resultValue() const;

    // Compares all five fields; inputs structurally, whatever the order of their keys.
    friend bool operator==(const ToolCall &left, const ToolCall &right);
};

// Keys in the order "id", "name", "input", "result", "isExecuting"; "result" only when present.
void to_json(nlohmann::ordered_json &json, const ToolCall &toolCall);
// "result" may be missing or null; every other key is required. Unknown keys are ignored.
// Missing keys and wrong types fail with nlohmann's own errors.
void from_json(const nlohmann::ordered_json &json, ToolCall &toolCall);
