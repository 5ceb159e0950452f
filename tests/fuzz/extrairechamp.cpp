// ExtraireChamp on any line, field number and separator. Padding lets short inputs reach the
// 16-bit positions, where only lines over 32,766 characters may fail, and only with an overflow.
#include "import/extrairechamp.h"
#include "tests/fuzz/fuzzsupport.h"

void fuzzOne(const QByteArray &bytes)
{
    FuzzedDataProvider input(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    const auto n = input.ConsumeIntegral<qint16>();
    const QString separator = QString::fromUtf8(input.ConsumeRandomLengthString(4));
    const qsizetype padding = input.ConsumeIntegralInRange(0, 40) * 1024;
    const QString line = QString(padding, QLatin1Char('x')) + QString::fromUtf8(input.ConsumeRemainingBytesAsString());
    const auto field = fuzz::resultOf([&] { return ExtraireChamp(line, n, separator); }, {Failure::Overflow});
    FUZZ_CHECK(field || line.size() > 32766);
    // With one character as separator, field n is what splitting gives, when a separator closes it.
    if (field && separator.size() == 1) {
        const QStringList fields = line.split(separator);
        FUZZ_CHECK(*field == (n >= 1 && n < fields.size() ? fields[n - 1] : QString()));
    }
}
