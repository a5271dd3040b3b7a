#pragma once

#include "model/User.h"

#include <optional>

// What a service needs to know of the sign-in: who is signed in, if anyone. The sign-in service
// implements it, so the chat and other services can read the user without depending on it.
class CurrentUserProvider
{
public:
    virtual ~CurrentUserProvider() = default;
    virtual const std::optional<User> &currentUser() const = 0;

protected:
    CurrentUserProvider() = default;
    CurrentUserProvider(const CurrentUserProvider &) = default;
    CurrentUserProvider &operator=(const CurrentUserProvider &) = default;
};
