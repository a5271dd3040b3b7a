#pragma once

#include "voice/VoiceSessions.h"

#include <httplib.h>

// The voice agent's signalling: an SDP offer posted to one path opens a session that echoes
// the caller's speech and answers with its pc_id; PATCH on the same path adds the caller's ICE
// candidates to that session. The server's own candidates travel in the answer.
class VoiceEndpoint
{
public:
    static constexpr char path[] = "/api/offer";

    void offer(const httplib::Request &request, httplib::Response &response);
    void addCandidates(const httplib::Request &request, httplib::Response &response);
    // Ends every session; for the server's shutdown, once no request runs any more.
    void stop();

private:
    VoiceSessions sessions;
};
