#include "identity/TokenExchangeHelper.h"

nlohmann::ordered_json TokenExchangeHelper::buildRequestBody(const QString &grantType,
                                                             const QString &clientID,
                                                             const QString &clientSecret,
                                                             const QString &code,
                                                             const QString &codeVerifier)
{
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["grant_type"] = grantType.toStdString();
    body["client_id"] = clientID.toStdString();
    if (!clientSecret.isEmpty())
        body["client_secret"] = clientSecret.toStdString();
    body["code"] = code.toStdString();
    body["code_verifier"] = codeVerifier.toStdString();
    return body;
}
