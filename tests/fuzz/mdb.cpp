// Opening any file as the management database and scanning its table Article, as the lookup
// does: the rows come, or a failure with a French description.
#include "platform/mdbdatabase.h"
#include "tests/fuzz/fuzzsupport.h"

namespace {
size_t sink;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::writeFile(QStringLiteral("gestion.mdb"),
                                         QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    try {
        const std::shared_ptr<Database> database = openMdbDatabase(path);
        database->scanTable(QStringLiteral("Article"), {QStringLiteral("Code"), QStringLiteral("CodeBarre")},
                            [](std::span<const TextView> values) {
                                FUZZ_CHECK(values.size() == 2);
                                // Every character read, so that a view past its buffer is seen.
                                for (const TextView &value : values)
                                    sink += value ? qHash(*value) : 0;
                            });
    } catch (const Failure &failure) {
        fuzz::expectFailure(failure, {Failure::DatabaseError, Failure::FileAccess});
    }
    return 0;
}
