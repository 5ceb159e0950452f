// Opening any file as the management database and scanning its table Article, as the lookup
// does, through the reader program: the rows come, or a failure with a French description.
#include "tests/fuzz/fuzzsupport.h"
#include "tests/support/builtmdbreader.h"

#include <QDirIterator>

namespace {

size_t sink;

// The reader is built with the same sanitizers; its reports (an error in our reading code)
// go to files of this folder, set before the reader first starts. A crash inside libmdb, which
// is not instrumented, is the reader's own business: the program must then fail in French,
// which is checked.
const QString readerReports = [] {
    const QString path = fuzz::scratchPath(QStringLiteral("rapports-lecteur"));
    FUZZ_CHECK(QDir().mkpath(path));
    for (const char *sanitizer : {"asan", "ubsan"}) {
        const QByteArray variable = QByteArray(sanitizer).toUpper() + "_OPTIONS";
        qputenv(variable, qgetenv(variable) + ":log_path=" + QFile::encodeName(path) + '/' + sanitizer
                              + ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0");
    }
    return path;
}();

} // namespace

void fuzzOne(const QByteArray &input)
{
    const QString path = fuzz::scratchFile(QStringLiteral("gestion.mdb"), input);
    fuzz::resultOf(
        [&] {
            openBuiltMdbDatabase(path)->scanTable(QStringLiteral("Article"),
                                                  {QStringLiteral("Code"), QStringLiteral("CodeBarre")},
                                                  [](std::span<const TextView> values) {
                                                      FUZZ_CHECK(values.size() == 2);
                                                      // Every character read, so that a view past its buffer is seen.
                                                      for (const TextView &value : values)
                                                          sink += value ? qHash(*value) : 0;
                                                  });
            return true;
        },
        {Failure::DatabaseError, Failure::FileAccess});
    if (QDirIterator after(readerReports, QDir::Files); after.hasNext())
        qFatal("a sanitizer report from the reader: %s", readFile(after.next()).constData());
}
