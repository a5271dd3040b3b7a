#pragma once

#include "storage/Profile.h"

#include <nlohmann/json.hpp>
#include <string>

class Database;

// What the server knows about a user beyond their name: the profile a first sign-in starts with,
// and the user-info and prompt texts built from it.
namespace ProfileDefaults {

inline constexpr char aiName[] = "Vessa";

// The preferences a new profile starts with.
nlohmann::ordered_json preferences(const std::string &fullName);
// The preferences as the user-info endpoint sends them: the stored ones and the skills the
// server's tools offer.
nlohmann::ordered_json preferencesWithSkills(const Profile &profile);
// Memories drawn from the user's diary and todo list as they are now.
nlohmann::ordered_json recentMemories(const Profile &profile, Database &database,
                                      const std::string &today);
std::string prompt(const std::string &type, const Profile *profile);

} // namespace ProfileDefaults
