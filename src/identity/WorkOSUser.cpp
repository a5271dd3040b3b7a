#include "identity/WorkOSUser.h"

#include "model/JSONDecoding.h"

#include <string>

User WorkOSUser::toUser() const
{
    return User{id, email, firstName, lastName};
}

void from_json(const nlohmann::ordered_json &json, WorkOSUser &user)
{
    user.id = QString::fromStdString(json.at("id").get<std::string>());
    user.email = QString::fromStdString(json.at("email").get<std::string>());
    user.firstName = JSONDecoding::optionalString(json, "first_name");
    user.lastName = JSONDecoding::optionalString(json, "last_name");
}
