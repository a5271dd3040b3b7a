#pragma once

#include <chrono>
#include <string>
#include <string_view>

// One line on standard output per request: method, path, status and duration. Only the path is
// written, never the query or a header, so no code or token reaches the log.
namespace RequestLog {

inline constexpr char tag[] = "[vessa-localserver] ";

std::string line(std::string_view method, std::string_view path, int status,
                 std::chrono::milliseconds duration);
// Writes a whole line at once, so that lines of concurrent requests never interleave.
void write(const std::string &line);

} // namespace RequestLog
