#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class EchoPeer;

// The live voice sessions by pc_id. A cleanup thread of its own ends sessions whose connection
// failed or closed, stayed disconnected too long, or went idle; a pipeline is only ever stopped
// there or by stop(), never on the GStreamer thread that reported the change.
class VoiceSessions
{
public:
    static constexpr std::size_t capacity = 16;

    struct Candidate
    {
        unsigned mlineIndex = 0;
        std::string text;
    };

    struct Answer
    {
        std::string pcId;
        std::string sdp;
    };

    // Frees GStreamer's own allocations once every session is gone, so that its leak tracer
    // (GST_TRACERS=leaks) reports only what we leaked. At process exit only: GStreamer cannot
    // start again after it.
    static void releaseEngine();

    VoiceSessions();
    // Stops every session.
    ~VoiceSessions();
    VoiceSessions(const VoiceSessions &) = delete;
    VoiceSessions &operator=(const VoiceSessions &) = delete;

    // Opens a session for the offer and gives its answer. Throws ApiError: 400 for an offer that
    // cannot be answered, 503 when the table is full.
    Answer open(const std::string &offerSdp);
    // False when there is no such session.
    bool addCandidates(const std::string &pcId, const std::vector<Candidate> &candidates);
    // Ends every session and the cleanup thread; later offers are refused.
    void stop();

private:
    void clean();
    std::vector<std::shared_ptr<EchoPeer>> takeEnded();

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::shared_ptr<EchoPeer>> sessions;
    bool stopping = false;
    std::thread cleaner;
};
