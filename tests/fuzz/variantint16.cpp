// The conversion of a server result to a 16-bit integer, for the input read as every type a
// server may send: the text (UTF-8) under each regional setting, checked against Qt's reading
// of numbers where both take it for one; the leading bytes as a boolean, integers of each width
// and sign, a float and a double, checked against the plain rule: in range after rounding half
// to even, or an overflow.
#include "platform/variantint16.h"
#include "tests/fuzz/fuzzsupport.h"

#include <cfenv>
#include <cmath>
#include <cstring>

namespace {

// The result, or nothing for an overflow; any other failure stops the run.
std::optional<qint16> convert(const QVariant &value, std::initializer_list<int> failures = {Failure::Overflow})
{
    return fuzz::resultOf([&] { return variantToInt16(value); }, failures);
}

template<typename... Number> void checkNumbers(const uint8_t *data, size_t size)
{
    const auto check = [&](auto value) {
        std::memcpy(&value, data, std::min(size, sizeof value));
        // Exact for the integers that can be in range; the default rounding mode is half to even.
        const double rounded = std::nearbyint(double(value));
        const std::optional<qint16> result = convert(QVariant::fromValue(value));
        FUZZ_CHECK(rounded >= -32768.0 && rounded <= 32767.0 ? result == qint16(rounded) : !result);
    };
    (check(Number{}), ...);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FUZZ_CHECK(std::fegetround() == FE_TONEAREST);
    const QString text = QString::fromUtf8(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const char *locale : {"virgule", "point", "arabe"}) { // decimal comma, point and U+066B
        QLocale::setDefault(testLocale(QString::fromLatin1(locale)));
        const std::optional<qint16> result = convert(text, {Failure::Overflow, Failure::TypeMismatch});
        // Where Qt reads the same text as a number too, both agree.
        bool ok = false;
        const double read = QLocale().toDouble(text, &ok);
        FUZZ_CHECK(!result || !ok || locale[0] == 'a' || std::nearbyint(read) == *result);
    }
    FUZZ_CHECK(convert(QVariant(size > 0 && data[0] % 2)) == qint16(size > 0 && data[0] % 2 ? -1 : 0));
    checkNumbers<qint8, quint8, qint16, quint16, qint32, quint32, qint64, quint64, float, double>(data, size);
    return 0;
}
