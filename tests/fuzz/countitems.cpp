// The counting pass's item reader on any file: it ends, each read consumes input, and every
// item is a piece of the file as it stands.
#include "tests/fuzz/fuzzsupport.h"

void fuzzOne(const QByteArray &input)
{
    const QByteArray bytes = fuzz::countFile(input);
    DelimitedItemReader reader(fuzz::scratchPath(QStringLiteral("comptage.txt")));
    for (qsizetype items = 0, from = 0; !reader.atEnd(); ++items) { // items come in file order
        FUZZ_CHECK(items < bytes.size());
        const QByteArray item = ansi::encode(reader.readItem());
        from = bytes.indexOf(item, from);
        FUZZ_CHECK(from >= 0);
        from += item.size();
    }
}
