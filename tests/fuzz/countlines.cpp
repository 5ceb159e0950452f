// The sending pass's line reader on any file: exactly the lines between CR LF, LF and lone CR
// line ends, byte for byte.
#include "tests/fuzz/fuzzsupport.h"

void fuzzOne(const QByteArray &input)
{
    const QByteArray bytes = fuzz::countFile(input);
    LineReader reader(fuzz::scratchPath(QStringLiteral("comptage.txt")));
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        if (i == bytes.size() && start == i)
            break; // no line after the last line end
        FUZZ_CHECK(!reader.atEndOfStream() && ansi::encode(reader.readLine()) == bytes.sliced(start, i - start));
        i += bytes.mid(i, 2) == "\r\n";
        start = i + 1;
    }
    FUZZ_CHECK(reader.atEndOfStream());
}
