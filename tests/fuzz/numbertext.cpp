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
    static const QRegularExpression comma(QStringLiteral("^-?[0-9]{1,15}(,[0-9]+)?(E[+-][0-9]{2,3})?$"));
    static const QRegularExpression point(QStringLiteral("^-?[0-9]{1,15}(\\.[0-9]+)?(E[+-][0-9]{2,3})?$"));
    for (size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
        double value;
        std::memcpy(&value, data + at, sizeof value);
        for (const char *locale : {"virgule", "point"}) {
            fuzz::useLocale(locale);
            QString text;
            try {
                text = numberText(value);
            } catch (const Failure &failure) {
                fuzz::expectFailure(failure, {Failure::Overflow});
                FUZZ_CHECK(!std::isfinite(value));
                continue;
            }
            FUZZ_CHECK(std::isfinite(value));
            FUZZ_CHECK((locale[0] == 'v' ? comma : point).match(text).hasMatch());
            std::string digits = text.toStdString();
            for (char &c : digits)
                c = c == ',' ? '.' : c == 'E' ? 'e' : c;
            double back = 0;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), back);
            FUZZ_CHECK(end == digits.data() + digits.size());
            // Rounded to 15 digits, the largest doubles are written above the largest double.
            if (error == std::errc::result_out_of_range && std::fabs(value) > 1.797693134862315e308)
                continue;
            FUZZ_CHECK(error == std::errc());
            // 15 significant digits: within 1E-14 of the value, relatively.
            FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1.0000001e-14);
        }
    }
    return 0;
}
