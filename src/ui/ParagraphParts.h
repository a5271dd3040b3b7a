#pragma once

#include "markdown/InlineRun.h"

#include <QString>
#include <cstddef>
#include <vector>

// A long paragraph of a reply cut into parts, each starting where one of the paragraph's lines
// starts when it is laid out at the width and in the font the message list draws paragraphs with.
// Drawn part under part at that width, the parts wrap exactly as the paragraph drawn whole, with
// its emphasis, code and links, while a list keeps only the parts on screen alive and a paragraph
// that grows at its end lays out and redraws only its last part.
class ParagraphParts
{
public:
    static constexpr std::size_t linesPerPart = 40;

    // Cuts the paragraph of these runs for that width. Returns the index of the first part whose
    // text changed (the part count when none did).
    std::size_t update(std::vector<InlineRun> runs, qreal width);

    std::size_t count() const { return starts.size(); }
    // The part's rich text, in the paragraph's direction whatever the part starts with.
    const QString &richText(std::size_t part) const { return texts[part]; }

    // Where the lines of these runs start, as byte offsets into their text, when laid out as the
    // message list lays out a paragraph; the first is 0.
    static std::vector<std::size_t> lineStarts(const std::vector<InlineRun> &runs, qreal width,
                                               Qt::LayoutDirection direction);

private:
    // Rich text of the runs' bytes [begin, end).
    QString partText(std::size_t begin, std::size_t end) const;
    // Cuts the paragraph again from the start of that part on, keeping the parts before it.
    void cutFrom(std::size_t part);

    std::vector<InlineRun> runs;
    qreal width = 0;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    // Byte offsets into the runs' text where the parts start; the first is 0.
    std::vector<std::size_t> starts;
    std::vector<QString> texts;
};
