#include "ui/Utf8Mirror.h"

#include <QStringView>

bool Utf8Mirror::set(const QString &text)
{
    if (text == m_text)
        return false;
    // Appended characters are converted alone, unless the old text ended inside a surrogate
    // pair that they complete.
    const bool appends = text.size() > m_text.size() && text.startsWith(m_text) &&
                         !(!m_text.isEmpty() && m_text.back().isHighSurrogate());
    if (appends)
        m_utf8 += QStringView(text).sliced(m_text.size()).toUtf8().toStdString();
    else
        m_utf8 = text.toStdString();
    m_text = text;
    return true;
}
