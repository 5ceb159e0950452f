#include "platform/regional.h"

#include <QLocale>

namespace regional {

QString decimalSeparator()
{
    return QLocale().decimalPoint();
}

} // namespace regional
