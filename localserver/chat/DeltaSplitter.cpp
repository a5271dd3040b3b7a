#include "chat/DeltaSplitter.h"

#include <algorithm>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

} // namespace

namespace DeltaSplitter {

std::vector<std::string> split(std::string_view text, std::size_t wordsPerDelta)
{
    wordsPerDelta = std::max<std::size_t>(wordsPerDelta, 1);
    std::vector<std::string> deltas;
    std::size_t start = 0;
    std::size_t index = 0;
    std::size_t words = 0;
    while (index < text.size()) {
        while (index < text.size() && !isSpace(text[index]))
            ++index;
        while (index < text.size() && isSpace(text[index]))
            ++index;
        if (++words == wordsPerDelta || index == text.size()) {
            deltas.emplace_back(text.substr(start, index - start));
            start = index;
            words = 0;
        }
    }
    return deltas;
}

} // namespace DeltaSplitter
