#pragma once

#include <QString>
#include <nlohmann/json.hpp>

// The body of the authorization-code exchange, free of any service state.
struct TokenExchangeHelper
{
    // "grant_type", "client_id", "client_secret", "code" and "code_verifier". The secret is left
    // out when empty: a client without one proves itself with the verifier alone.
    static nlohmann::ordered_json buildRequestBody(const QString &grantType,
                                                   const QString &clientID,
                                                   const QString &clientSecret, const QString &code,
                                                   const QString &codeVerifier);
};
