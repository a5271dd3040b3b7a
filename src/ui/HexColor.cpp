#include "ui/HexColor.h"

#include <QChar>
#include <QString>
#include <QTextBoundaryFinder>
#include <limits>

namespace {

bool isAlphanumeric(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::isMark(c);
}

// Code point at `at` (UTF-16 index) and the number of code units it takes.
std::pair<char32_t, qsizetype> codePointAt(QStringView text, qsizetype at)
{
    const QChar unit = text[at];
    if (unit.isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate())
        return {QChar::surrogateToUcs4(unit, text[at + 1]), 2};
    return {unit.unicode(), 1};
}

std::pair<char32_t, qsizetype> codePointBefore(QStringView text, qsizetype end)
{
    const QChar unit = text[end - 1];
    if (unit.isLowSurrogate() && end >= 2 && text[end - 2].isHighSurrogate())
        return {QChar::surrogateToUcs4(text[end - 2], unit), 2};
    return {unit.unicode(), 1};
}

QStringView trimmedToAlphanumerics(QStringView text)
{
    qsizetype begin = 0;
    while (begin < text.size()) {
        const auto [c, units] = codePointAt(text, begin);
        if (isAlphanumeric(c))
            break;
        begin += units;
    }
    qsizetype end = text.size();
    while (end > begin) {
        const auto [c, units] = codePointBefore(text, end);
        if (isAlphanumeric(c))
            break;
        end -= units;
    }
    return text.sliced(begin, end - begin);
}

// User-perceived characters, so a digit with a combining mark counts once.
qsizetype characterCount(QStringView text)
{
    const QString copy = text.toString();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, copy);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

int channel(std::uint64_t value)
{
    return static_cast<int>(value & 0xFFU);
}

} // namespace

std::uint64_t scanHexUInt64(QStringView text)
{
    qsizetype at = 0;
    if (text.size() >= 3 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') &&
        hexDigit(text[2]) >= 0)
        at = 2;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; at < text.size(); ++at) {
        const int digit = hexDigit(text[at]);
        if (digit < 0)
            break;
        if (value > (std::numeric_limits<std::uint64_t>::max() >> 4U))
            overflow = true;
        value = (value << 4U) | static_cast<std::uint64_t>(digit);
    }
    return overflow ? std::numeric_limits<std::uint64_t>::max() : value;
}

QColor colorFromHex(QStringView text)
{
    const QStringView hex = trimmedToAlphanumerics(text);
    const std::uint64_t value = scanHexUInt64(hex);
    switch (characterCount(hex)) {
    case 3:
        return QColor::fromRgb(channel(value >> 8U) * 17, channel((value >> 4U) & 0xFU) * 17,
                               channel(value & 0xFU) * 17, 255);
    case 6:
        return QColor::fromRgb(channel(value >> 16U), channel(value >> 8U), channel(value), 255);
    case 8:
        return QColor::fromRgb(channel(value >> 16U), channel(value >> 8U), channel(value),
                               channel(value >> 24U));
    default:
        return QColor::fromRgb(0, 0, 0, 255);
    }
}
