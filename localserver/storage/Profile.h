#pragma once

#include <optional>
#include <string>

// A user known to the server: created by the first sign-in with an e-mail address, renamed by
// later ones. Preferences are a JSON object in text form.
struct Profile
{
    std::string id;
    std::string email;
    std::string firstName;
    std::optional<std::string> lastName;
    std::string aiName;
    std::string preferences;
    std::string createdAt;
    std::string updatedAt;
};
