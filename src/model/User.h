#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <nlohmann/json.hpp>
#include <optional>

// The signed-in user. `id` is the identity provider's user identifier, which is also how the
// backend knows the user.
struct User
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id)
    Q_PROPERTY(QString email MEMBER email)
    Q_PROPERTY(QVariant firstName READ firstNameValue)
    Q_PROPERTY(QVariant lastName READ lastNameValue)

public:
    QString id;
    QString email;
    std::optional<QString> firstName;
    std::optional<QString> lastName;

    // For QML: the name, or undefined when absent.
    QVariant firstNameValue() const;
    QVariant lastNameValue() const;

    friend bool operator==(const User &, const User &) = default;
};

// The stored record: "id", "email", then "firstName" and "lastName" only when present.
void to_json(nlohmann::ordered_json &json, const User &user);
// "id" and "email" are required strings; the names may be missing or null. Missing keys and
// wrong types fail with nlohmann's own errors.
void from_json(const nlohmann::ordered_json &json, User &user);

Q_DECLARE_METATYPE(User)
