// The quantity text of any double (each 8 bytes of the input), under the comma and the point:
// the shape "-digits,digits E+00" and a value that reads back within the 15 digits kept.
#include "platform/numbertext.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
        double value;
        std::memcpy(&value, data + at, sizeof value);
        for (const char *locale : {"virgule", "point"}) {
            QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
            std::optional<QString> text = fuzz::resultOf([&] { return numberText(value); }, {Failure::Overflow});
            FUZZ_CHECK(text.has_value() == std::isfinite(value));
            if (!text)
                continue;
            static const QRegularExpression shape(QStringLiteral("^-?[0-9]{1,15}([,.][0-9]+)?(E[+-][0-9]{2,3})?$"));
            FUZZ_CHECK(shape.match(*text).hasMatch() && !text->contains(QLatin1Char(locale[0] == 'v' ? '.' : ',')));
            const std::string digits = text->replace(QLatin1Char(','), QLatin1Char('.')).replace(QLatin1Char('E'), QLatin1Char('e')).toStdString();
            double back = 0;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), back);
            FUZZ_CHECK(end == digits.data() + digits.size());
            // Rounded to 15 digits, the largest doubles are written above the largest double.
            if (error == std::errc::result_out_of_range && std::fabs(value) > 1.797693134862315e308)
                continue;
            // 15 significant digits: within 1E-14 of the value, relatively.
            FUZZ_CHECK(error == std::errc() && std::fabs(back - value) <= std::fabs(value) * 1.0000001e-14);
        }
    }
    return 0;
}
