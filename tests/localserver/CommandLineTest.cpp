#include "CommandLine.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(CommandLine, DefaultsServeTheDefaultBuild)
{
    const auto commandLine = CommandLine::parse({});

    EXPECT_EQ(commandLine.options.port, 8787);
    EXPECT_EQ(commandLine.options.pace, std::chrono::milliseconds(33));
    EXPECT_EQ(commandLine.options.clientId, "client_01LOCALVESSADEVELOPMENT000");
    EXPECT_EQ(commandLine.options.apiToken, "localdev");
    EXPECT_EQ(commandLine.options.dataDirectory.filename(), "vessa-localserver");
    EXPECT_FALSE(commandLine.showHelp);
}

TEST(CommandLine, OptionsSetPortDataAndPace)
{
    const auto commandLine =
        CommandLine::parse({"--port", "0", "--data", "/tmp/x", "--pace-ms", "5", "--help"});

    EXPECT_EQ(commandLine.options.port, 0);
    EXPECT_EQ(commandLine.options.dataDirectory, "/tmp/x");
    EXPECT_EQ(commandLine.options.pace, std::chrono::milliseconds(5));
    EXPECT_TRUE(commandLine.showHelp);
}

TEST(CommandLine, BadCommandLinesAreRefused)
{
    for (const auto &arguments : std::vector<std::vector<std::string>>{{"--port"},
                                                                       {"--port", "x"},
                                                                       {"--port", "65536"},
                                                                       {"--port", "-1"},
                                                                       {"--port", "8 0"},
                                                                       {"--pace-ms", "10001"},
                                                                       {"--data", ""},
                                                                       {"--verbose"},
                                                                       {"8787"}})
        EXPECT_THROW(CommandLine::parse(arguments), std::invalid_argument) << arguments[0];
}

} // namespace
