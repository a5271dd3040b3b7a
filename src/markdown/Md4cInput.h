#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The text md4c parses for one block text, and the way back to the text as written. Every line
// that would open a block in md4c is neutralised (a letter put before it, or its marker escaped)
// and single-asterisk emphasis is written with underscores, so md4c shows what an inline-only
// parser shows.
class Md4cInput
{
public:
    // A byte handed to md4c that is not the text as written, so what md4c shows can be mapped
    // back.
    enum class Origin : unsigned char
    {
        // Added only to keep md4c from opening a block; never shown.
        Inserted,
        // An underscore standing in for a rewritten asterisk; shown as the asterisk when md4c
        // keeps it as text, so no underscore appears that the text never had.
        RewrittenAsterisk,
    };

    struct Mark
    {
        std::size_t offset;
        Origin origin;
    };

    // What md4c parses; std::string keeps it NUL-terminated, which md4c relies on.
    std::string text;
    // The bytes of `text` that are not the text as written, in ascending order.
    std::vector<Mark> marks;

    static Md4cInput of(std::string_view source);

    // Hands `out` the text of [from, to) of `text` as the user wrote it, in pieces: without
    // inserted bytes, with rewritten asterisks back.
    template<typename Out> void shownText(std::size_t from, std::size_t to, Out out) const
    {
        auto next =
            std::lower_bound(marks.begin(), marks.end(), from,
                             [](const Mark &m, std::size_t offset) { return m.offset < offset; });
        const std::string_view all = text;
        while (from < to) {
            const std::size_t stop = next != marks.end() && next->offset < to ? next->offset : to;
            out(all.substr(from, stop - from));
            if (stop == to)
                return;
            if (next->origin == Origin::RewrittenAsterisk)
                out(std::string_view("*"));
            from = stop + 1;
            ++next;
        }
    }

private:
    void mark(char c, Origin origin);
};
