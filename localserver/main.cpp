#include "CommandLine.h"
#include "LocalServer.h"
#include "http/RequestLog.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // Signals are taken by sigwait below, never by a pool thread in the middle of a request; a
    // client that disconnects must not end the process.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CommandLine commandLine;
    try {
        commandLine = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument &error) {
        std::fprintf(stderr, "vessa-localserver: %s\n%s", error.what(),
                     CommandLine::usage().c_str());
        return 2;
    }
    if (commandLine.showHelp) {
        std::fputs(CommandLine::usage().c_str(), stdout);
        return 0;
    }

    for (const auto &warning : commandLine.warnings)
        RequestLog::write(std::string(RequestLog::tag) + warning);
    try {
        LocalServer server(commandLine.options);
        if (!server.start()) {
            std::fprintf(stderr, "vessa-localserver: cannot listen on 127.0.0.1:%d\n",
                         commandLine.options.port);
            return 1;
        }
        RequestLog::write(std::string(RequestLog::tag) + "Listening on " + server.baseUrl() +
                          ", data in " + commandLine.options.dataDirectory.string());
        server.checkModelServer();
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "vessa-localserver: %s\n", error.what());
        return 1;
    }
    VoiceSessions::releaseEngine();
    return 0;
}
