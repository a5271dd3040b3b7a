#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

// Diagnostic output: one tagged line ("[ChatService] ...") on standard output, flushed at once so
// that lines from different threads never interleave and none is lost when the process ends.
namespace Log {

// Every line stays one line, whatever a server or a user put into it: line breaks and other
// control characters are written as escapes ("\n", "\r", "\t", "\x1b"). A line longer than
// maximumLineLength bytes is cut at a character boundary and ends in "…", so that a server's
// text that reaches a line unshortened cannot flood the output.
inline constexpr std::size_t maximumLineLength = 4096;

void write(std::string_view line);
void write(const QString &line);

} // namespace Log
