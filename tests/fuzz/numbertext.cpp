// The quantity text of any double (each 8 bytes of the input), under the comma and the point:
// the shape "-digits,digits E+00" and a value that reads back within the 15 digits kept.
#include "platform/numbertext.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QRegularExpression>

#include <charconv>

void fuzzOne(const QByteArray &input)
{
    static const QRegularExpression shape(QStringLiteral("^-?[0-9]{1,15}([,.][0-9]+)?(E[+-][0-9]{2,3})?$"));
    for (qsizetype at = 0; at + qsizetype(sizeof(double)) <= input.size(); at += sizeof(double)) {
        double value;
        std::memcpy(&value, input.constData() + at, sizeof value);
        for (const char *locale : {"virgule", "point"}) {
            QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
            std::optional<QString> text = fuzz::resultOf([&] { return numberText(value); }, {Failure::Overflow});
            FUZZ_CHECK(text.has_value() == std::isfinite(value));
            if (!text)
                continue;
            FUZZ_CHECK(shape.match(*text).hasMatch() && !text->contains(QLatin1Char(locale[0] == 'v' ? '.' : ',')));
            // from_chars reads the exponent's E as strtod does.
            const std::string digits = text->replace(QLatin1Char(','), QLatin1Char('.')).toStdString();
            double back = 0;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), back);
            FUZZ_CHECK(end == digits.data() + digits.size());
            // 15 significant digits: within 1E-14 of the value, relatively; rounded to 15 digits,
            // the largest doubles are written above the largest double.
            FUZZ_CHECK((error == std::errc() && std::fabs(back - value) <= std::fabs(value) * 1.0000001e-14)
                       || (error == std::errc::result_out_of_range && std::fabs(value) > 1.797693134862315e308));
        }
    }
}
