#include "identity/WorkOSAuthResponse.h"

#include <string>

void from_json(const nlohmann::ordered_json &json, WorkOSAuthResponse &response)
{
    response.user = json.at("user").get<WorkOSUser>();
    response.accessToken = QString::fromStdString(json.at("access_token").get<std::string>());
    const auto refreshToken = json.find("refresh_token");
    if (refreshToken == json.end() || refreshToken->is_null())
        response.refreshToken.reset();
    else
        response.refreshToken = QString::fromStdString(refreshToken->get<std::string>());
}
