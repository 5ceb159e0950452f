#pragma once

#include <QString>

// The user's regional number settings, read afresh at each call from the default QLocale
// (which follows LC_NUMERIC/LANG, and which tests switch with QLocale::setDefault).
namespace regional {

QString decimalSeparator();

} // namespace regional
