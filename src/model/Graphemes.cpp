#include "model/Graphemes.h"

#include <QTextBoundaryFinder>
#include <algorithm>

namespace Graphemes {

namespace {

// The end of the `count`-th character within the window, when the window can tell it.
// A boundary before the window's end is a boundary of the whole text as well: whether a break
// falls at a position depends on what precedes it and on the one character after it. The
// window's own end counts only when it is the end of the text.
qsizetype endWithin(QStringView text, qsizetype window, qsizetype count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.first(window));
    qsizetype end = 0;
    for (qsizetype found = 0; found < count; ++found) {
        end = finder.toNextBoundary();
        if (end < 0)
            return window == text.size() ? window : -1;
    }
    return end < window || window == text.size() ? end : -1;
}

} // namespace

qsizetype count(QStringView text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype characters = 0;
    while (finder.toNextBoundary() >= 0)
        ++characters;
    return characters;
}

QStringView prefix(QStringView text, qsizetype count)
{
    if (count <= 0)
        return text.first(0);
    // Most characters are one or two code units; start with room for that and widen as needed.
    qsizetype window = std::min(text.size(), count * 4);
    for (;;) {
        // Never end a window between the halves of a surrogate pair.
        if (window < text.size() && text[window - 1].isHighSurrogate())
            ++window;
        const qsizetype end = endWithin(text, window, count);
        if (end >= 0)
            return text.first(end);
        window = std::min(text.size(), window * 2);
    }
}

} // namespace Graphemes
