#pragma once

#include <QString>

#include <optional>

// The counted quantity as a number. Digits and signs are kept, the regional decimal
// separator, "," and "." all become the decimal mark, spaces and no-break spaces are skipped,
// and any other character ends the text. What was kept is read as: one optional sign, digits
// with at most one decimal mark; reading stops at the first character out of that shape.
// Null in, null out. A kept number too large for a double fails with an overflow.
std::optional<double> MyVal(const std::optional<QString> &chaine);
