#include "import/myval.h"

#include "platform/failure.h"
#include "platform/regional.h"

#include <charconv>
#include <string>
#include <string_view>

namespace {

// The kept text holds only digits, signs and '.'.
double readKept(const std::string &kept)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < kept.size() && (kept[i] == '+' || kept[i] == '-')) {
        negative = kept[i] == '-';
        ++i;
    }
    const std::size_t begin = i;
    bool seenPoint = false;
    bool seenDigit = false;
    for (; i < kept.size(); ++i) {
        if (kept[i] >= '0' && kept[i] <= '9') {
            seenDigit = true;
        } else if (kept[i] == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(kept.data() + begin, kept.data() + i, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Only a run of hundreds of digits gets here; a tiny fraction underflows to zero.
        const std::string_view number(kept.data() + begin, i - begin);
        if (number.find_first_of("123456789") < number.find('.'))
            throw Failure::overflow();
        value = 0.0;
    }
    return negative ? -value : value;
}

} // namespace

std::optional<double> MyVal(const std::optional<QString> &chaine)
{
    if (!chaine)
        return std::nullopt;
    const QString separator = regional::decimalSeparator();
    const QChar regionalMark = separator.size() == 1 ? separator[0] : QChar();

    std::string kept;
    kept.reserve(static_cast<std::size_t>(chaine->size()));
    for (const QChar c : *chaine) {
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || u == u'+' || u == u'-') {
            kept += static_cast<char>(u);
        } else if ((!regionalMark.isNull() && c == regionalMark) || u == u',' || u == u'.') {
            kept += '.';
        } else if (u == u' ' || u == 0x00A0) {
            continue;
        } else {
            break;
        }
    }
    return readKept(kept);
}
