#include "model/User.h"

#include "model/JSONDecoding.h"

#include <string>

namespace {

QVariant optionalValue(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
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
    user.firstName = JSONDecoding::optionalString(json, "firstName");
    user.lastName = JSONDecoding::optionalString(json, "lastName");
}
