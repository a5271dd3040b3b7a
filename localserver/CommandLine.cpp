#include "CommandLine.h"

#include <QStandardPaths>
#include <charconv>
#include <stdexcept>

namespace {

int number(const std::string &option, const std::string &text, int minimum, int maximum)
{
    int value = 0;
    const auto *end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end || value < minimum || value > maximum)
        throw std::invalid_argument(option + " needs a whole number from " +
                                    std::to_string(minimum) + " to " + std::to_string(maximum));
    return value;
}

} // namespace

CommandLine CommandLine::parse(const std::vector<std::string> &arguments)
{
    CommandLine commandLine;
    commandLine.options.dataDirectory = defaultDataDirectory();
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const auto &option = arguments[index];
        if (option == "--help" || option == "-h") {
            commandLine.showHelp = true;
            continue;
        }
        if (option != "--port" && option != "--data" && option != "--pace-ms")
            throw std::invalid_argument("unknown option " + option);
        if (index + 1 == arguments.size())
            throw std::invalid_argument(option + " needs a value");
        const auto &value = arguments[++index];
        if (option == "--port")
            commandLine.options.port = number(option, value, 0, 65535);
        else if (option == "--pace-ms")
            commandLine.options.pace = std::chrono::milliseconds(number(option, value, 0, 10000));
        else if (value.empty())
            throw std::invalid_argument("--data needs a directory");
        else
            commandLine.options.dataDirectory = value;
    }
    return commandLine;
}

std::string CommandLine::usage()
{
    return "Usage: vessa-localserver [--port N] [--data DIR] [--pace-ms N]\n"
           "Serves the sign-in, user info, chat, prompts and MCP endpoints on 127.0.0.1.\n"
           "  --port N     port to listen on (default 8787; 0 picks a free port)\n"
           "  --data DIR   folder of the database (default: " +
           defaultDataDirectory().string() +
           ")\n"
           "  --pace-ms N  pause after each streamed chat event (default 33)\n";
}

std::filesystem::path CommandLine::defaultDataDirectory()
{
    return std::filesystem::path(
               QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                   .toStdString()) /
           "vessa-localserver";
}
