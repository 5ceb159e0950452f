#include "platform/numbertext.h"

#include "platform/failure.h"
#include "platform/regional.h"

#include <cmath>

QString numberText(double value)
{
    if (!std::isfinite(value))
        throw Failure::overflow();
    if (value == 0.0)
        return QStringLiteral("0"); // also for -0

    // 'e' with 14 decimals rounds to 15 significant digits, locale-independently, and moves
    // the exponent when rounding carries (9.999999999999999E+14 becomes 1E+15).
    const QString scientific = QString::number(std::fabs(value), 'e', 14);
    const qsizetype ePos = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(ePos);
    digits.remove(1, 1); // the '.' after the first digit
    const int exponent = scientific.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    const QString separator = regional::decimalSeparator();
    QString text = value < 0 ? QStringLiteral("-") : QString();
    if (exponent >= -5 && exponent <= 14) {
        if (exponent < 0) {
            text += QLatin1Char('0') + separator + QString(-exponent - 1, QLatin1Char('0')) + digits;
        } else if (digits.size() <= exponent + 1) {
            text += digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
        } else {
            text += digits.left(exponent + 1) + separator + digits.mid(exponent + 1);
        }
        return text;
    }
    text += digits.left(1);
    if (digits.size() > 1)
        text += separator + digits.mid(1);
    text += QLatin1Char('E');
    text += QLatin1Char(exponent < 0 ? '-' : '+');
    text += QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    return text;
}
