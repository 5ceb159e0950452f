// The conversion of a server result to a 16-bit integer, for the input read as every type a
// server may send: the text (UTF-8) under each regional setting, checked against Qt's reading
// of numbers where both take it for one; the leading bytes as integers of each width and sign,
// a float and a double, checked against the plain rule: in range after rounding half to even
// (the default rounding mode), or an overflow.
#include "platform/variantint16.h"
#include "tests/fuzz/fuzzsupport.h"

#include <tuple>

void fuzzOne(const QByteArray &input)
{
    const QString text = QString::fromUtf8(input);
    for (const char *locale : {"virgule", "point", "arabe"}) { // decimal comma, point and U+066B
        QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
        const auto result =
            fuzz::resultOf([&] { return variantToInt16(text); }, {Failure::Overflow, Failure::TypeMismatch});
        // Where Qt reads the same text as a number too, both agree.
        bool ok = false;
        const double read = QLocale().toDouble(text, &ok);
        FUZZ_CHECK(!result || !ok || locale[0] == 'a' || std::nearbyint(read) == *result);
    }
    const auto check = [&](auto value) {
        std::memcpy(&value, input.constData(), qMin(size_t(input.size()), sizeof value));
        const double rounded = std::nearbyint(double(value)); // exact for the integers that can be in range
        const auto result =
            fuzz::resultOf([&] { return variantToInt16(QVariant::fromValue(value)); }, {Failure::Overflow});
        FUZZ_CHECK(rounded >= -32768.0 && rounded <= 32767.0 ? result == qint16(rounded) : !result);
    };
    std::apply([&](auto... number) { (check(number), ...); },
               std::tuple<qint8, quint8, qint16, quint16, qint32, quint32, qint64, quint64, float, double>());
}
