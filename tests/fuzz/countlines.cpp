// The sending pass's line reader on any file: exactly the lines between CR LF, LF and lone CR
// line ends, byte for byte.
#include "platform/ansi.h"
#include "platform/countfile.h"
#include "tests/fuzz/countfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::countFileBytes(data, size);
    QList<QByteArray> expected;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        expected << bytes.sliced(start, i - start);
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        expected << bytes.sliced(start);

    LineReader reader(fuzz::writeFile(QStringLiteral("comptage.txt"), bytes));
    for (const QByteArray &line : expected) {
        FUZZ_CHECK(!reader.atEndOfStream());
        FUZZ_CHECK(ansi::encode(reader.readLine()) == line);
    }
    FUZZ_CHECK(reader.atEndOfStream());
    return 0;
}
