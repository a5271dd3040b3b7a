#include "identity/ProfileEndpoints.h"

#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "identity/ProfileDefaults.h"
#include "storage/Database.h"
#include "support/Calendar.h"

ProfileEndpoints::ProfileEndpoints(const LocalServerOptions &options_, Database &database_)
    : options(options_)
    , database(database_)
{}

void ProfileEndpoints::userInfo(const httplib::Request &request, httplib::Response &response)
{
    const auto userId = JsonHttp::bearerToken(request);
    const auto profile = userId ? database.profile(*userId) : std::nullopt;
    if (!profile)
        throw ApiError(401, "unauthorized", "Missing bearer user id, or no such user");
    JsonHttp::send(response, 200,
                   {{"ai_name", profile->aiName},
                    {"preferences", ProfileDefaults::preferencesWithSkills(*profile)},
                    {"recent_memories", ProfileDefaults::recentMemories(
                                            *profile, database, Calendar::day(options.clock()))}});
}

void ProfileEndpoints::prompt(const httplib::Request &request, httplib::Response &response)
{
    JsonHttp::requireBearer(request, options.apiToken);
    const auto type = request.get_param_value("type");
    if (type != "text" && type != "voice")
        throw ApiError(400, "invalid_request", "type must be text or voice");
    const auto userId = request.get_param_value("workos_user_id");
    if (userId.empty())
        throw ApiError(400, "invalid_request", "workos_user_id is required");
    const auto profile = database.profile(userId);
    JsonHttp::send(response, 200,
                   {{"prompt", ProfileDefaults::prompt(type, profile ? &*profile : nullptr)}});
}
