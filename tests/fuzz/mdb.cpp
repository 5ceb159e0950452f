// Opening any file as the management database and scanning its table Article, as the lookup
// does, through the reader program: the rows come, or a failure with a French description.
#include "tests/fuzz/fuzzsupport.h"
#include "tests/support/builtmdbreader.h"

#include <QDirIterator>

namespace {

size_t sink;

// The reader is built with the same sanitizers; its reports (an error in our reading code)
// go to files of this folder. A crash inside libmdb, which is not instrumented, is the
// reader's own business: the program must then fail in French, which is checked.
const QString &readerReports()
{
    static const QString folder = [] {
        const QString path = fuzz::scratchPath(QStringLiteral("rapports-lecteur"));
        FUZZ_CHECK(QDir().mkpath(path));
        for (const char *sanitizer : {"asan", "ubsan"}) {
            const QByteArray variable = QByteArray(sanitizer).toUpper() + "_OPTIONS";
            qputenv(variable, qgetenv(variable) + ":log_path=" + QFile::encodeName(path) + '/' + sanitizer
                                  + ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0");
        }
        return path;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readerReports(); // set for the reader before it first starts
    const QString path = fuzz::scratchFile(QStringLiteral("gestion.mdb"), QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    try {
        openBuiltMdbDatabase(path)->scanTable(QStringLiteral("Article"), {QStringLiteral("Code"), QStringLiteral("CodeBarre")},
                                              [](std::span<const TextView> values) {
                                                  FUZZ_CHECK(values.size() == 2);
                                                  // Every character read, so that a view past its buffer is seen.
                                                  for (const TextView &value : values)
                                                      sink += value ? qHash(*value) : 0;
                                              });
    } catch (const Failure &failure) {
        fuzz::expectFailure(failure, {Failure::DatabaseError, Failure::FileAccess});
    }
    if (QDirIterator after(readerReports(), QDir::Files); after.hasNext())
        fuzz::fail("a sanitizer report from the reader", 0, readFile(after.next()).constData());
    return 0;
}
