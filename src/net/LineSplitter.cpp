#include "net/LineSplitter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t none = std::string::npos;

} // namespace

LineSplitter::LineSplitter(std::size_t limit)
    : maxLineLength(limit)
{}

void LineSplitter::append(std::string_view chunk)
{
    // Lines already handed out are released before the buffer grows, so it holds at most one
    // partial line plus one chunk.
    buffer.erase(0, lineStart);
    scanPosition -= lineStart;
    for (ByteSearch *search : {&lineFeeds, &carriageReturns}) {
        if (search->found == none)
            search->searchedTo =
                search->searchedTo > lineStart ? search->searchedTo - lineStart : 0;
        else if (search->found >= lineStart)
            search->found -= lineStart;
        else
            *search = ByteSearch{search->byte};
    }
    lineStart = 0;
    buffer.append(chunk);
}

void LineSplitter::finish()
{
    finished = true;
}

std::optional<std::string_view> LineSplitter::nextLine()
{
    const std::string_view bytes = buffer;
    while (true) {
        if (swallowLineFeed && lineStart < bytes.size()) {
            swallowLineFeed = false;
            if (bytes[lineStart] == '\n') {
                ++lineStart;
                scanPosition = lineStart;
            }
        }

        const std::size_t terminator = findTerminator();
        if (terminator == none) {
            scanPosition = bytes.size();
            if (!finished) {
                dropOverlongTail();
                return std::nullopt;
            }
            const std::size_t start = lineStart;
            lineStart = bytes.size();
            if (start == bytes.size() || discardingLine || bytes.size() - start > maxLineLength)
                return std::nullopt;
            return bytes.substr(start);
        }

        const std::size_t start = lineStart;
        lineStart = terminator + 1;
        scanPosition = lineStart;
        swallowLineFeed = bytes[terminator] == '\r';
        if (discardingLine) {
            discardingLine = false;
            continue;
        }
        if (terminator - start > maxLineLength)
            continue;
        return bytes.substr(start, terminator - start);
    }
}

std::size_t LineSplitter::findTerminator()
{
    return std::min(nextPosition(lineFeeds), nextPosition(carriageReturns));
}

std::size_t LineSplitter::nextPosition(ByteSearch &search)
{
    if (search.found != none && search.found >= scanPosition)
        return search.found;
    const std::size_t from =
        search.found == none ? std::max(scanPosition, search.searchedTo) : scanPosition;
    search.searchedTo = buffer.size();
    search.found = none;
    if (from < buffer.size()) {
        // memchr is vectorised, and every byte of the body passes through here.
        const void *match = std::memchr(buffer.data() + from, search.byte, buffer.size() - from);
        if (match != nullptr)
            search.found =
                static_cast<std::size_t>(static_cast<const char *>(match) - buffer.data());
    }
    return search.found;
}

void LineSplitter::dropOverlongTail()
{
    if (!discardingLine && buffer.size() - lineStart <= maxLineLength)
        return;
    discardingLine = true;
    lineStart = buffer.size();
}
