#pragma once

#include "identity/WorkOSUser.h"

#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

// The body of a successful code exchange. Other members of the reply are ignored.
struct WorkOSAuthResponse
{
    WorkOSUser user;
    QString accessToken;
    std::optional<QString> refreshToken;
};

// "user" and "access_token" are required; "refresh_token" may be missing or null. Missing keys
// and wrong types fail with nlohmann's own errors.
void from_json(const nlohmann::ordered_json &json, WorkOSAuthResponse &response);
