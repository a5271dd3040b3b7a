#include "model/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace Log {

void write(std::string_view line)
{
    static std::mutex mutex;
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line).push_back('\n');
    const std::scoped_lock lock(mutex);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void write(const QString &line)
{
    write(std::string_view(line.toStdString()));
}

} // namespace Log
