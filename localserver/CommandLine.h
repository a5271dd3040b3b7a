#pragma once

#include "LocalServerOptions.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The server's command line: --port N, --data DIR, --pace-ms N, --model-url URL, --model NAME,
// --api-key-file PATH, --help. The model options may also come from the environment
// (VESSA_MODEL_URL, VESSA_MODEL, VESSA_MODEL_API_KEY_FILE); the command line wins.
struct CommandLine
{
    using Environment = std::function<std::optional<std::string>(const char *name)>;

    LocalServerOptions options;
    bool showHelp = false;
    // Things to tell the user that do not stop the server, such as a key file others can read.
    std::vector<std::string> warnings;

    // Throws std::invalid_argument with a readable reason for a bad command line, or for a key
    // file that cannot be read.
    static CommandLine parse(const std::vector<std::string> &arguments,
                             const Environment &environment = processEnvironment);
    static std::optional<std::string> processEnvironment(const char *name);
    static std::string usage();
    // "vessa-localserver" in the user's data folder (XDG_DATA_HOME, else ~/.local/share).
    static std::filesystem::path defaultDataDirectory();
};
