#pragma once

#include "LocalServerOptions.h"

#include <httplib.h>
#include <string>

class Database;
struct Profile;

// The user's profile as the web host serves it, and the system prompts of the backend API.
class ProfileEndpoints
{
public:
    static constexpr char userInfoPath[] = "/api/user/info";
    static constexpr char promptsPath[] = "/api/v1/prompts";

    ProfileEndpoints(const LocalServerOptions &options, Database &database);

    // GET user info, with the user's id as the bearer credential.
    void userInfo(const httplib::Request &request, httplib::Response &response);
    // GET prompts?type=text|voice&workos_user_id=..., with the API token.
    void prompt(const httplib::Request &request, httplib::Response &response);

private:
    const LocalServerOptions &options;
    Database &database;
};
