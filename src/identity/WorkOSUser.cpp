#include "identity/WorkOSUser.h"

#include <string>

namespace {

std::optional<QString> optionalString(const nlohmann::ordered_json &json, const char *key)
{
    const auto found = json.find(key);
    if (found == json.end() || found->is_null())
        return std::nullopt;
    return QString::fromStdString(found->get<std::string>());
}

} // namespace

User WorkOSUser::toUser() const
{
    return User{id, email, firstName, lastName};
}

void from_json(const nlohmann::ordered_json &json, WorkOSUser &user)
{
    user.id = QString::fromStdString(json.at("id").get<std::string>());
    user.email = QString::fromStdString(json.at("email").get<std::string>());
    user.firstName = optionalString(json, "first_name");
    user.lastName = optionalString(json, "last_name");
}
