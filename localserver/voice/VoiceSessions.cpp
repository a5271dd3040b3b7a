#include "voice/VoiceSessions.h"

#include "http/ApiError.h"
#include "http/RequestLog.h"
#include "support/Crypto.h"
#include "voice/EchoPeer.h"
#include "voice/VoiceOffer.h"

#include <gst/gst.h>
#include <optional>

namespace {

using namespace std::chrono_literals;

// The answer must carry our candidates; on loopback they are there in well under this.
constexpr auto gatheringLimit = 2000ms;
// A caller's audio never stops while connected (a released talk button still sends silence), so
// a session that hears nothing this long has been left behind, connected or not.
constexpr auto idleLimit = 60s;
// A disconnected connection may come back; one that stays away this long will not.
constexpr auto disconnectedLimit = 10s;
// Ended sessions are looked for at least this often, besides whenever a state changes.
constexpr auto cleaningPeriod = 500ms;

// Why the session should end now, if it should.
std::optional<std::string> endOf(const EchoPeer &peer, EchoPeer::Moment now)
{
    switch (peer.connectionState()) {
    case GST_WEBRTC_PEER_CONNECTION_STATE_FAILED:
        return "connection failed";
    case GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED:
        return "connection closed";
    case GST_WEBRTC_PEER_CONNECTION_STATE_DISCONNECTED:
        if (now - peer.stateSince() > disconnectedLimit)
            return "disconnected too long";
        break;
    default:
        break;
    }
    if (now - peer.lastHeard() > idleLimit)
        return "idle";
    return std::nullopt;
}

void logEnd(const std::string &pcId, const std::string &reason)
{
    RequestLog::write(std::string(RequestLog::tag) + "Voice session " + pcId + " ended: " + reason);
}

} // namespace

void VoiceSessions::releaseEngine()
{
    if (gst_is_initialized())
        gst_deinit();
}

VoiceSessions::VoiceSessions() = default;

VoiceSessions::~VoiceSessions()
{
    stop();
}

VoiceSessions::Answer VoiceSessions::open(const std::string &offerSdp)
{
    EchoPeer::startEngine();
    const auto offer = VoiceOffer::parse(offerSdp);
    auto pcId = "pc_" + Crypto::hex(Crypto::randomBytes(16));
    {
        const std::lock_guard lock(mutex);
        if (stopping)
            throw ApiError(503, "shutting_down", "The server is stopping");
        if (sessions.size() >= capacity)
            throw ApiError(503, "too_many_sessions", "Too many voice sessions are open");
        if (!cleaner.joinable())
            cleaner = std::thread([this] { clean(); });
    }
    // Built and answered outside the lock: answering waits for ICE gathering.
    auto peer = std::make_shared<EchoPeer>(pcId, offer, [this] { changed.notify_one(); });
    auto sdp = peer->answer(offer, gatheringLimit);
    const std::lock_guard lock(mutex);
    if (stopping)
        throw ApiError(503, "shutting_down", "The server is stopping");
    // Offers answered side by side may have filled the table meanwhile.
    if (sessions.size() >= capacity)
        throw ApiError(503, "too_many_sessions", "Too many voice sessions are open");
    sessions.emplace(pcId, std::move(peer));
    return {std::move(pcId), std::move(sdp)};
}

bool VoiceSessions::addCandidates(const std::string &pcId, const std::vector<Candidate> &candidates)
{
    std::shared_ptr<EchoPeer> peer;
    {
        const std::lock_guard lock(mutex);
        const auto session = sessions.find(pcId);
        if (session == sessions.end())
            return false;
        peer = session->second;
    }
    for (const auto &candidate : candidates)
        peer->addCandidate(candidate.mlineIndex, candidate.text);
    return true;
}

void VoiceSessions::stop()
{
    std::map<std::string, std::shared_ptr<EchoPeer>> ending;
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        ending.swap(sessions);
    }
    changed.notify_one();
    if (cleaner.joinable())
        cleaner.join();
    for (const auto &[pcId, peer] : ending)
        logEnd(pcId, "server stopping");
}

void VoiceSessions::clean()
{
    std::unique_lock lock(mutex);
    while (!stopping) {
        changed.wait_for(lock, cleaningPeriod);
        auto ended = takeEnded();
        // Pipelines stop outside the lock: stopping one waits for its threads.
        lock.unlock();
        ended.clear();
        lock.lock();
    }
}

std::vector<std::shared_ptr<EchoPeer>> VoiceSessions::takeEnded()
{
    std::vector<std::shared_ptr<EchoPeer>> ended;
    const auto now = EchoPeer::Moment::clock::now();
    for (auto session = sessions.begin(); session != sessions.end();) {
        if (const auto reason = endOf(*session->second, now)) {
            logEnd(session->first, *reason);
            ended.push_back(std::move(session->second));
            session = sessions.erase(session);
        } else {
            ++session;
        }
    }
    return ended;
}
