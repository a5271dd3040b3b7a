#pragma once

#include "model/User.h"

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// The user object of the identity provider's token reply, in its snake-case wire form.
struct WorkOSUser
{
    QString id;
    QString email;
    std::optional<QString> firstName;
    std::optional<QString> lastName;

    // The record the application keeps, field by field.
    User toUser() const;

    friend bool operator==(const WorkOSUser &, const WorkOSUser &) = default;
};

// "id" and "email" are required strings; "first_name" and "last_name" may be missing or null.
// Missing keys and wrong types fail with nlohmann's own errors.
void from_json(const nlohmann::ordered_json &json, WorkOSUser &user);
