// The counting pass's item reader on any file: it ends, each read consumes input, and every
// item is a piece of the file as it stands.
#include "platform/ansi.h"
#include "platform/countfile.h"
#include "tests/fuzz/fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::countFileBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    DelimitedItemReader reader(fuzz::scratchFile(QStringLiteral("comptage.txt"), bytes));
    for (qsizetype items = 0, from = 0; !reader.atEnd(); ++items) { // items come in file order
        FUZZ_CHECK(items < bytes.size());
        const QByteArray item = ansi::encode(reader.readItem());
        from = bytes.indexOf(item, from);
        FUZZ_CHECK(from >= 0);
        from += item.size();
    }
    return 0;
}
