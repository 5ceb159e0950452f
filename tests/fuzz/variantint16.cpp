// The conversion of a server result to a 16-bit integer, for the input read as every type a
// server may send: the text (UTF-8) under each regional setting, checked against Qt's reading
// of numbers where both take it for one, and the leading bytes as a
// boolean, integers of each width and sign, a float and a double. Integers and floating values
// are checked against the plain rule: in range after rounding half to even, or an overflow.
#include "platform/variantint16.h"
#include "tests/fuzz/fuzzsupport.h"

#include <cfenv>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

template <typename T>
T leading(const uint8_t *data, size_t size)
{
    T value{};
    std::memcpy(&value, data, std::min(size, sizeof value));
    return value;
}

// The result, or nothing for an overflow; any other failure stops the run.
std::optional<qint16> convert(const QVariant &value, std::initializer_list<int> failures = {Failure::Overflow})
{
    try {
        return variantToInt16(value);
    } catch (const Failure &failure) {
        fuzz::expectFailure(failure, failures);
        return std::nullopt;
    }
}

template <typename Int>
void checkInteger(Int value)
{
    const std::optional<qint16> result = convert(QVariant::fromValue(value));
    FUZZ_CHECK(std::in_range<qint16>(value) ? result == qint16(value) : !result);
}

void checkFloating(double value, const QVariant &variant)
{
    const double rounded = std::nearbyint(value); // the default rounding mode: half to even
    const bool inRange = rounded >= -32768.0 && rounded <= 32767.0;
    const std::optional<qint16> result = convert(variant);
    FUZZ_CHECK(inRange ? result == qint16(rounded) : !result);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FUZZ_CHECK(std::fegetround() == FE_TONEAREST);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *locale : fuzz::kLocales) {
        fuzz::useLocale(locale);
        const std::optional<qint16> result = convert(text, {Failure::Overflow, Failure::TypeMismatch});
        // Where Qt reads the same text as a number too, both agree.
        bool ok = false;
        const double read = QLocale().toDouble(text, &ok);
        FUZZ_CHECK(!result || !ok || locale[0] == 'a' || std::nearbyint(read) == *result);
    }

    FUZZ_CHECK(convert(QVariant(size > 0 && data[0] % 2)) == qint16(size > 0 && data[0] % 2 ? -1 : 0));
    checkInteger(leading<qint8>(data, size));
    checkInteger(leading<quint8>(data, size));
    checkInteger(leading<qint16>(data, size));
    checkInteger(leading<quint16>(data, size));
    checkInteger(leading<qint32>(data, size));
    checkInteger(leading<quint32>(data, size));
    checkInteger(leading<qint64>(data, size));
    checkInteger(leading<quint64>(data, size));
    const auto single = leading<float>(data, size);
    checkFloating(double(single), QVariant(single));
    const auto value = leading<double>(data, size);
    checkFloating(value, QVariant(value));
    return 0;
}
