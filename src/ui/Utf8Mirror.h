#pragma once

#include <QString>
#include <string>

// A text kept in UTF-8 as well, for the block parser. A streaming reply only grows at its end,
// so only the characters that were appended are converted.
class Utf8Mirror
{
public:
    // False, changing nothing, when the text is the one already held.
    bool set(const QString &text);

    const QString &text() const { return m_text; }
    const std::string &utf8() const { return m_utf8; }

private:
    QString m_text;
    std::string m_utf8;
};
