#include "LocalServerFixture.h"

#include <cstdio>
#include <sys/wait.h>

namespace {

class VoiceEchoTest : public LocalServerFixture
{
protected:
    struct Run
    {
        int status = -1;
        std::string output;
    };

    // Runs the aiortc caller against this server; its last line of output holds its figures.
    Run call() const
    {
        const auto command =
            "/usr/bin/python3 " + std::string(VESSA_VOICE_CLIENT) + " " + server->baseUrl();
        Run run;
        auto *pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return run;
        for (char line[512]; std::fgets(line, sizeof(line), pipe) != nullptr;)
            run.output = line;
        run.status = pclose(pipe);
        return run;
    }
};

TEST_F(VoiceEchoTest, AiortcCallerHearsItsSpeechBack)
{
    const auto run = call();
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
    const auto figures = Json::parse(run.output, nullptr, false);
    ASSERT_TRUE(figures.is_object()) << run.output;
    std::printf("voice echo: %s", run.output.c_str());

    EXPECT_LT(figures["connect_ms"].get<int>(), 5000);
    // 400 ms of silence ends the utterance; jitter buffers on both sides add the rest.
    EXPECT_GT(figures["echo_latency_ms"].get<int>(), 300);
    EXPECT_LT(figures["echo_latency_ms"].get<int>(), 3000);
    // The one-second tone comes back once, whole and at its own pitch.
    EXPECT_NEAR(figures["echo_ms"].get<int>(), 1000, 300);
    EXPECT_NEAR(figures["echo_hz"].get<int>(), 440, 10);
}

} // namespace
