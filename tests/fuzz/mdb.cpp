// Opening any file as the management database and scanning its table Article, as the lookup
// does, through the reader program: the rows come, or a failure with a French description.
#include "tests/fuzz/fuzzsupport.h"
#include "tests/support/builtmdbreader.h"

#include <QDirIterator>

namespace {

size_t sink;

// The reader is built with the same sanitizers; its reports (an error in our reading code)
// go to files that every input looks for. A crash inside libmdb, which is not instrumented,
// is the reader's own business: the program must then fail in French, which is checked.
QString readerReports()
{
    static const QString folder = [] {
        const QString path = fuzz::scratchPath(QStringLiteral("rapports-lecteur"));
        FUZZ_CHECK(QDir().mkpath(path));
        for (const char *variable : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            const QByteArray prefix = variable[0] == 'A' ? "/asan" : "/ubsan";
            qputenv(variable, qgetenv(variable) + ":log_path=" + QFile::encodeName(path) + prefix
                                  + ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0");
        }
        return path;
    }();
    return folder;
}

void expectNoReaderReport()
{
    QDirIterator reports(readerReports(), QDir::Files);
    if (!reports.hasNext())
        return;
    const QString report = reports.next();
    std::fprintf(stderr, "%s\n", fuzz::readFile(report).constData());
    FUZZ_CHECK(!"a sanitizer report from the reader");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readerReports();
    const QString path = fuzz::writeFile(QStringLiteral("gestion.mdb"),
                                         QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    try {
        const std::shared_ptr<Database> database = openBuiltMdbDatabase(path);
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
    expectNoReaderReport();
    return 0;
}
