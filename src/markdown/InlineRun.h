#pragma once

#include <optional>
#include <string>

// A stretch of inline text with one set of attributes, as the inline step renders it.
struct InlineRun
{
    std::string text;
    bool emphasis = false;
    bool strong = false;
    bool code = false;
    // Set only for destinations the user may open (http, https and mailto).
    std::optional<std::string> link;

    bool sameAttributes(const InlineRun &other) const
    {
        return emphasis == other.emphasis && strong == other.strong && code == other.code &&
               link == other.link;
    }

    friend bool operator==(const InlineRun &, const InlineRun &) = default;
};
