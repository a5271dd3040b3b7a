#include "http/RequestLog.h"

#include "support/Text.h"

#include <cstdio>
#include <mutex>

namespace {

constexpr std::size_t maxPathBytes = 200;

// A decoded path can hold line breaks and escape sequences: none may forge or garble a line.
std::string printable(std::string_view text)
{
    std::string result(Text::truncate(text, maxPathBytes));
    for (auto &c : result)
        if (Text::hasControlCharacters(std::string_view(&c, 1)))
            c = '?';
    return result;
}

} // namespace

namespace RequestLog {

std::string line(std::string_view method, std::string_view path, int status,
                 std::chrono::milliseconds duration)
{
    return tag + printable(method) + " " + printable(path) + " " + std::to_string(status) + " " +
           std::to_string(duration.count()) + " ms";
}

void write(const std::string &line)
{
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace RequestLog
