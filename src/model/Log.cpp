#include "model/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace Log {

namespace {

void appendEscape(std::string &text, unsigned char c)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    switch (c) {
    case '\n':
        text += "\\n";
        return;
    case '\r':
        text += "\\r";
        return;
    case '\t':
        text += "\\t";
        return;
    default:
        text += "\\x";
        text += hexDigits[c >> 4];
        text += hexDigits[c & 0xf];
    }
}

// The line, or its head up to the last whole UTF-8 character within the limit.
std::string_view bounded(std::string_view line)
{
    if (line.size() <= maximumLineLength)
        return line;
    std::size_t end = maximumLineLength;
    while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xc0) == 0x80)
        --end;
    return line.substr(0, end);
}

std::string escaped(std::string_view line)
{
    std::string text;
    text.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            appendEscape(text, byte);
        else
            text += c;
    }
    return text;
}

} // namespace

void write(std::string_view line)
{
    static std::mutex mutex;
    std::string text = escaped(bounded(line));
    if (line.size() > maximumLineLength)
        text += "\u2026";
    text.push_back('\n');
    const std::scoped_lock lock(mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void write(const QString &line)
{
    write(std::string_view(line.toStdString()));
}

} // namespace Log
