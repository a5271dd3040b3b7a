#include "model/Excerpt.h"

#include "model/Graphemes.h"

namespace Excerpt {

QString of(QStringView text, qsizetype length)
{
    const QStringView head = Graphemes::prefix(text, length);
    if (head.size() == text.size())
        return text.toString();
    return head.toString() + QChar(0x2026);
}

} // namespace Excerpt
