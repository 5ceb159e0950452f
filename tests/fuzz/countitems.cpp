// The counting pass's item reader on any file: it ends, each read consumes input, and every
// item is a piece of the file as it stands.
#include "platform/ansi.h"
#include "platform/countfile.h"
#include "tests/fuzz/countfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::countFileBytes(data, size);
    DelimitedItemReader reader(fuzz::writeFile(QStringLiteral("comptage.txt"), bytes));
    qsizetype items = 0;
    qsizetype from = 0; // items come in file order
    while (!reader.atEnd()) {
        FUZZ_CHECK(++items <= bytes.size());
        const QByteArray item = ansi::encode(reader.readItem());
        from = bytes.indexOf(item, from);
        FUZZ_CHECK(from >= 0);
        from += item.size();
    }
    return 0;
}
