#pragma once

#include <QString>

namespace Uuid {

// A fresh random UUID as conversations and messages spell it: 36 characters, upper-case
// hexadecimal in 8-4-4-4-12 groups, no braces.
QString makeString();

} // namespace Uuid
