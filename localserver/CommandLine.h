#pragma once

#include "LocalServerOptions.h"

#include <filesystem>
#include <string>
#include <vector>

// The server's command line: --port N, --data DIR, --pace-ms N, --help.
struct CommandLine
{
    LocalServerOptions options;
    bool showHelp = false;

    // Throws std::invalid_argument with a readable reason for a bad command line.
    static CommandLine parse(const std::vector<std::string> &arguments);
    static std::string usage();
    // "vessa-localserver" in the user's data folder (XDG_DATA_HOME, else ~/.local/share).
    static std::filesystem::path defaultDataDirectory();
};
