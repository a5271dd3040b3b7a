#include "model/Excerpt.h"

#include "model/Graphemes.h"

namespace Excerpt {

namespace {

// One character may be a letter with any number of marks on it; no character of a real text
// needs more code units than this.
constexpr qsizetype unitsPerCharacter = 8;

// The text up to `units` code units, never ending between the halves of a surrogate pair.
QStringView firstUnits(QStringView text, qsizetype units)
{
    if (text.size() <= units)
        return text;
    if (units > 0 && text[units - 1].isHighSurrogate())
        --units;
    return text.first(units);
}

} // namespace

QString of(QStringView text, qsizetype length)
{
    // Bounded in code units as well: a hostile text can stack marks on one letter without end.
    const QStringView window = firstUnits(text, length * unitsPerCharacter);
    const QStringView head = Graphemes::prefix(window, length);
    if (head.size() == text.size())
        return text.toString();
    return head.toString() + QChar(0x2026);
}

} // namespace Excerpt
