#pragma once

#include <QStringView>
#include <QtGlobal>

// Counting and cutting text by user-perceived character (grapheme cluster), so that a cut never
// splits a surrogate pair, a letter from its accents, or an emoji sequence.
namespace Graphemes {

qsizetype count(QStringView text);

// The first `count` characters of the text; all of it when it is shorter. Looks only as far into
// the text as the cut needs, so cutting the head off a body of megabytes stays cheap.
QStringView prefix(QStringView text, qsizetype count);

} // namespace Graphemes
