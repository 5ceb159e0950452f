#pragma once

#include <QString>

// A number written as the platform's ordinary number-to-text conversion writes it, in the
// user's regional format: at most 15 significant digits, no grouping, no trailing zeros, no
// decimal separator for a whole number, exponent notation ("1E+15", "1,5E-07") outside
// 1E-05 .. 1E+15. Fails with an overflow for infinities and NaN, which have no text.
QString numberText(double value);
