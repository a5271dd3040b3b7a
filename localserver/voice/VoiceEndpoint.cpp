#include "voice/VoiceEndpoint.h"

#include "http/ApiError.h"
#include "http/JsonHttp.h"
#include "http/JsonValue.h"

#include <limits>

namespace {

using Json = nlohmann::ordered_json;

std::string offerSdp(const Json &body)
{
    if (!JsonHttp::hasString(body, "sdp") || body["sdp"].get_ref<const std::string &>().empty())
        JsonHttp::rejectRequest("sdp must be a non-empty string");
    if (JsonValue::member(body, "type") != "offer")
        JsonHttp::rejectRequest("type must be \"offer\"");
    if (!JsonHttp::hasString(body, "client"))
        JsonHttp::rejectRequest("client must be a string");
    if (body.contains("workos_user_id") && !JsonHttp::hasString(body, "workos_user_id"))
        JsonHttp::rejectRequest("workos_user_id must be a string");
    return body["sdp"].get<std::string>();
}

VoiceSessions::Candidate candidateOf(const Json &item)
{
    static constexpr auto problem =
        "Every candidate needs a candidate string and a non-negative sdp_mline_index";
    if (!item.is_object() || !JsonHttp::hasString(item, "candidate") ||
        !item.contains("sdp_mline_index"))
        JsonHttp::rejectRequest(problem);
    const auto &index = item["sdp_mline_index"];
    if (!index.is_number_integer() || index.get<long long>() < 0 ||
        index.get<long long>() > std::numeric_limits<int>::max())
        JsonHttp::rejectRequest(problem);
    if (item.contains("sdp_mid") && !item["sdp_mid"].is_string() && !item["sdp_mid"].is_null())
        JsonHttp::rejectRequest("sdp_mid must be a string");
    return {index.get<unsigned>(), item["candidate"].get<std::string>()};
}

std::vector<VoiceSessions::Candidate> candidatesOf(const Json &body)
{
    if (!body.contains("candidates") || !body["candidates"].is_array())
        JsonHttp::rejectRequest("candidates must be an array");
    std::vector<VoiceSessions::Candidate> candidates;
    for (const auto &item : body["candidates"])
        // An empty candidate only says that the caller has no more; webrtcbin needs no word of it.
        if (auto candidate = candidateOf(item); !candidate.text.empty())
            candidates.push_back(std::move(candidate));
    return candidates;
}

} // namespace

void VoiceEndpoint::offer(const httplib::Request &request, httplib::Response &response)
{
    const auto answer = sessions.open(offerSdp(JsonHttp::parseObject(request)));
    JsonHttp::send(response, 200,
                   {{"sdp", answer.sdp}, {"type", "answer"}, {"pc_id", answer.pcId}});
}

void VoiceEndpoint::addCandidates(const httplib::Request &request, httplib::Response &response)
{
    const auto body = JsonHttp::parseObject(request);
    if (!JsonHttp::hasString(body, "pc_id"))
        JsonHttp::rejectRequest("pc_id must be a string");
    // Checked whole before any is added, so a bad list changes nothing.
    const auto candidates = candidatesOf(body);
    if (!sessions.addCandidates(body["pc_id"].get<std::string>(), candidates))
        throw ApiError(404, "unknown_session", "No voice session has this pc_id");
    JsonHttp::send(response, 200, {{"status", "ok"}});
}

void VoiceEndpoint::stop()
{
    sessions.stop();
}
