#include "model/User.h"

#include <string>

namespace {

QVariant optionalValue(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
}

std::optional<QString> optionalString(const nlohmann::ordered_json &json, const char *key)
{
    const auto found = json.find(key);
    if (found == json.end() || found->is_null())
        return std::nullopt;
    return QString::fromStdString(found->get<std::string>());
}

} // namespace

QVariant User::firstNameValue() const
{
    return optionalValue(firstName);
}

QVariant User::lastNameValue() const
{
    return optionalValue(lastName);
}

void to_json(nlohmann::ordered_json &json, const User &user)
{
    json = nlohmann::ordered_json::object();
    json["id"] = user.id.toStdString();
    json["email"] = user.email.toStdString();
    if (user.firstName)
        json["firstName"] = user.firstName->toStdString();
    if (user.lastName)
        json["lastName"] = user.lastName->toStdString();
}

void from_json(const nlohmann::ordered_json &json, User &user)
{
    user.id = QString::fromStdString(json.at("id").get<std::string>());
    user.email = QString::fromStdString(json.at("email").get<std::string>());
    user.firstName = optionalString(json, "firstName");
    user.lastName = optionalString(json, "lastName");
}
