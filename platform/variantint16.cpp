#include "platform/variantint16.h"

#include "platform/failure.h"
#include "platform/regional.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

qint16 checkedInt16(double rounded)
{
    if (!(rounded >= std::numeric_limits<qint16>::min() && rounded <= std::numeric_limits<qint16>::max()))
        throw Failure::overflow();
    return static_cast<qint16>(rounded);
}

template <typename Int> qint16 checkedInt16(Int value)
{
    if (!std::in_range<qint16>(value))
        throw Failure::overflow();
    return static_cast<qint16>(value);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// For a number that a double cannot hold: whether it is too small rather than too large.
bool tinyMagnitude(const std::string &plain)
{
    const std::size_t e = plain.find('e');
    const std::string mantissa = plain.substr(0, e);
    long long exponent = 0;
    if (e != std::string::npos) {
        const char *first = plain.data() + e + 1;
        if (*first == '+')
            ++first;
        const auto [p, ec] = std::from_chars(first, plain.data() + plain.size(), exponent);
        if (ec == std::errc::result_out_of_range)
            return *first == '-';
    }
    const std::size_t point = mantissa.find('.');
    const std::size_t firstSignificant = mantissa.find_first_not_of("0.");
    if (firstSignificant == std::string::npos)
        return true; // zero
    const long long intDigits = static_cast<long long>(point == std::string::npos ? mantissa.size() : point);
    const long long position = static_cast<long long>(firstSignificant);
    const long long magnitude = position < intDigits ? intDigits - position - 1 : intDigits - position;
    // The magnitude is bounded by the text's length, the exponent is not: a sum could overflow.
    return exponent < -magnitude;
}

// A number in the regional format: sign, digits, at most one regional separator, an optional
// exponent. Nothing else (no grouping, no currency) is a number here.
double parseRegionalNumber(const QString &raw)
{
    qsizetype begin = 0;
    qsizetype end = raw.size();
    while (begin < end && isBlank(raw[begin]))
        ++begin;
    while (end > begin && isBlank(raw[end - 1]))
        --end;
    const QStringView text = QStringView(raw).sliced(begin, end - begin);
    const QString separator = regional::decimalSeparator();

    std::string plain; // the same number with '.' as separator, for from_chars
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int mantissaDigits = 0;
    bool seenSeparator = false;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            plain += static_cast<char>(c.unicode());
            ++mantissaDigits;
            ++i;
        } else if (!seenSeparator && !separator.isEmpty() && text.sliced(i).startsWith(separator)) {
            plain += '.';
            seenSeparator = true;
            i += separator.size();
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        throw Failure::typeMismatch();
    if (i < text.size() && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        plain += 'e';
        ++i;
        if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            plain += static_cast<char>(text[i++].unicode());
        int exponentDigits = 0;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
            plain += static_cast<char>(text[i++].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            throw Failure::typeMismatch();
    }
    if (i != text.size())
        throw Failure::typeMismatch();

    double value = 0;
    const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range)
        return tinyMagnitude(plain) ? 0.0 : (throw Failure::overflow());
    if (ec != std::errc() || ptr != plain.data() + plain.size())
        throw Failure::typeMismatch();
    return negative ? -value : value;
}

// Rounds half to even, as the platform rounds a number to an integer.
double roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

} // namespace

qint16 variantToInt16(const QVariant &value)
{
    if (!value.isValid())
        return 0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
        return checkedInt16(value.toLongLong());
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        return checkedInt16(value.toULongLong());
    case QMetaType::Float:
    case QMetaType::Double:
        return checkedInt16(roundHalfEven(value.toDouble()));
    case QMetaType::QString:
        return checkedInt16(roundHalfEven(parseRegionalNumber(value.toString())));
    default:
        throw Failure::typeMismatch();
    }
}
