#pragma once

#include <QString>
#include <string_view>

// Diagnostic output: one tagged line ("[ChatService] ...") on standard output, flushed at once so
// that lines from different threads never interleave and none is lost when the process ends.
namespace Log {

// Every line stays one line, whatever a server or a user put into it: line breaks and other
// control characters are written as escapes ("\n", "\r", "\t", "\x1b").
void write(std::string_view line);
void write(const QString &line);

} // namespace Log
