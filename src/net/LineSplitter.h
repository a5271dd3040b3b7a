#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Cuts a byte stream that arrives in arbitrary chunks into lines. LF, CRLF and CR all end a
// line; a CR at the end of one chunk and an LF at the start of the next are one terminator.
// It works on bytes and cuts only at terminators, so a UTF-8 character split across chunks
// reaches the line whole.
//
// Usage: append() each chunk, then take lines with nextLine() until it returns none; at the end
// of the body call finish() and take the last, unterminated line the same way.
class LineSplitter
{
public:
    // A line longer than this is dropped up to its terminator, so a peer that never ends a line
    // cannot make the client buffer without bound. It is far above any real event: a whole
    // tool result serialised on one data line stays well below it.
    static constexpr std::size_t defaultMaxLineLength = 16 * 1024 * 1024;

    explicit LineSplitter(std::size_t limit = defaultMaxLineLength);

    // Adds the next bytes of the body. Invalidates the view last returned by nextLine().
    void append(std::string_view chunk);

    // Marks the end of the body: the bytes after the last terminator become the final line.
    void finish();

    // The next complete line without its terminator, or none until more bytes arrive. The view
    // stays valid until the next call of any member.
    std::optional<std::string_view> nextLine();

private:
    // The next position of one byte in the buffer, kept between calls so that every byte is
    // searched once however the lines end: a body of CR-terminated lines, for one, would
    // otherwise search all the rest of the buffer for an LF at every line.
    struct ByteSearch
    {
        char byte;
        // The first position of the byte found by the last search; if none, the byte is not in
        // the buffer from the scan position up to searchedTo.
        std::size_t found = std::string::npos;
        std::size_t searchedTo = 0;
    };

    std::size_t findTerminator();
    std::size_t nextPosition(ByteSearch &search);
    void dropOverlongTail();

    std::size_t maxLineLength;
    std::string buffer;
    // Start of the bytes not yet handed out as lines.
    std::size_t lineStart = 0;
    // Where the search for the next terminator resumes; everything before it is line content.
    std::size_t scanPosition = 0;
    ByteSearch lineFeeds{'\n'};
    ByteSearch carriageReturns{'\r'};
    // The last line ended with a CR, so an LF that follows belongs to that terminator.
    bool swallowLineFeed = false;
    // The current line grew past the cap; its bytes are dropped until its terminator.
    bool discardingLine = false;
    bool finished = false;
};
