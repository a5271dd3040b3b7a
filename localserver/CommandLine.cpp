#include "CommandLine.h"

#include "chat/ModelServer.h"

#include <QStandardPaths>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

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

// A key is a line of text; more than this is not a key file.
constexpr std::size_t maximumKeyBytes = 16 * 1024;

// The API key from its file, without the line break editors add. Refused when it cannot be read,
// is empty or is not one line; a file others may read is used, with a warning.
std::string readKey(const std::string &path, std::vector<std::string> &warnings)
{
    const auto descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        throw std::invalid_argument("cannot read the API key file " + path + ": " +
                                    std::strerror(errno));
    struct stat status = {};
    std::string key;
    std::string failure;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        failure = "not a file";
    } else if (status.st_size > static_cast<off_t>(maximumKeyBytes)) {
        failure = "larger than a key";
    } else {
        key.resize(static_cast<std::size_t>(status.st_size));
        const auto got = ::read(descriptor, key.data(), key.size());
        if (got < 0)
            failure = std::strerror(errno);
        key.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    }
    ::close(descriptor);
    if (!failure.empty())
        throw std::invalid_argument("cannot read the API key file " + path + ": " + failure);
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r' || key.back() == ' '))
        key.pop_back();
    if (key.empty())
        throw std::invalid_argument("the API key file " + path + " is empty");
    for (const char c : key)
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f)
            throw std::invalid_argument("the API key file " + path +
                                        " must hold the key alone, on one line");
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        warnings.push_back("The API key file " + path +
                           " can be read by others; make it yours alone with chmod 600");
    return key;
}

void setModelServer(CommandLine &commandLine, const std::optional<std::string> &url,
                    const std::optional<std::string> &model,
                    const std::optional<std::string> &keyFile)
{
    if (!url && !model && !keyFile)
        return;
    if (!url || !model)
        throw std::invalid_argument("--model-url and --model go together");
    ModelServerSettings settings;
    settings.url = *url;
    settings.model = *model;
    if (keyFile)
        settings.apiKey = readKey(*keyFile, commandLine.warnings);
    // Checks the address now, so that a mistyped one stops the start with its reason.
    const ModelServer server(settings);
    if (server.sendsKeyInTheClear())
        commandLine.warnings.push_back("The API key goes unencrypted to " + settings.url +
                                       "; use https:// for a model server on another machine");
    commandLine.options.modelServer = server.settings();
}

} // namespace

std::optional<std::string> CommandLine::processEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

CommandLine CommandLine::parse(const std::vector<std::string> &arguments,
                               const Environment &environment)
{
    CommandLine commandLine;
    commandLine.options.dataDirectory = defaultDataDirectory();
    auto modelUrl = environment("VESSA_MODEL_URL");
    auto model = environment("VESSA_MODEL");
    auto keyFile = environment("VESSA_MODEL_API_KEY_FILE");
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const auto &option = arguments[index];
        if (option == "--help" || option == "-h") {
            commandLine.showHelp = true;
            continue;
        }
        if (option != "--port" && option != "--data" && option != "--pace-ms" &&
            option != "--model-url" && option != "--model" && option != "--api-key-file")
            throw std::invalid_argument("unknown option " + option);
        if (index + 1 == arguments.size())
            throw std::invalid_argument(option + " needs a value");
        const auto &value = arguments[++index];
        if (option == "--model-url")
            modelUrl = value;
        else if (option == "--model")
            model = value;
        else if (option == "--api-key-file")
            keyFile = value;
        else if (option == "--port")
            commandLine.options.port = number(option, value, 0, 65535);
        else if (option == "--pace-ms")
            commandLine.options.pace = std::chrono::milliseconds(number(option, value, 0, 10000));
        else if (value.empty())
            throw std::invalid_argument("--data needs a directory");
        else
            commandLine.options.dataDirectory = value;
    }
    if (!commandLine.showHelp)
        setModelServer(commandLine, modelUrl, model, keyFile);
    return commandLine;
}

std::string CommandLine::usage()
{
    return "Usage: vessa-localserver [--port N] [--data DIR] [--pace-ms N]\n"
           "                         [--model-url URL --model NAME [--api-key-file PATH]]\n"
           "Serves the sign-in, user info, chat, prompts and MCP endpoints on 127.0.0.1.\n"
           "  --port N     port to listen on (default 8787; 0 picks a free port)\n"
           "  --data DIR   folder of the database (default: " +
           defaultDataDirectory().string() +
           ")\n"
           "  --pace-ms N  pause after each streamed chat event (default 33)\n"
           "  --model-url URL      an OpenAI-compatible API, such as http://127.0.0.1:11434/v1;\n"
           "                       chats are then answered by its model instead of by rules\n"
           "  --model NAME         the model to answer with, as the server lists it\n"
           "  --api-key-file PATH  a file holding the server's API key (mode 600)\n"
           "The model options may also be set as VESSA_MODEL_URL, VESSA_MODEL and\n"
           "VESSA_MODEL_API_KEY_FILE.\n";
}

std::filesystem::path CommandLine::defaultDataDirectory()
{
    return std::filesystem::path(
               QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                   .toStdString()) /
           "vessa-localserver";
}
