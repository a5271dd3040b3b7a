#pragma once

#include <QColor>
#include <QStringView>
#include <cstdint>

// The hexadecimal integer at the start of a text, read like the platform scanner: an optional
// "0x" or "0X", then hexadecimal digits up to the first other character. Without a digit the
// value is 0; a value past 64 bits saturates at UINT64_MAX (every digit is still consumed).
std::uint64_t scanHexUInt64(QStringView text);

// An sRGB colour from hexadecimal text. Characters that are not letters, marks or numbers are
// trimmed from both ends ("#c17f59" reads as "c17f59"); the length of the rest picks the layout:
// 3 characters RGB, 6 RRGGBB, 8 AARRGGBB (alpha first); any other length is opaque black.
// Never fails.
QColor colorFromHex(QStringView text);
