#pragma once

// What the fuzz targets share: a check that stops the run with its reason, a scratch folder for
// the inputs that the code under test reads from a path, and the operators' regional settings.

#include "platform/failure.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

// libFuzzer keeps the input of any abort as a finding.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

namespace fuzz {

// The locales of tests/testlocale.h: decimal comma, decimal point, and U+066B.
inline const char *const kLocales[] = {"virgule", "point", "arabe"};

inline void useLocale(const char *name)
{
    QLocale::setDefault(testLocale(QString::fromLatin1(name)));
}

// A folder of this process, removed when the run ends normally; in memory where there is
// room, as the settings writer syncs its file to disk.
inline QString scratchPath(const QString &name)
{
    static const QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                       ? QStringLiteral("/dev/shm/tirvano-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/tirvano-fuzz-XXXXXX"));
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(name);
}

inline QString writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchPath(name);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    return path;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A failure is one of the expected kinds, with a French description.
inline void expectFailure(const Failure &failure, std::initializer_list<int> numbers)
{
    bool expected = false;
    for (int number : numbers)
        expected = expected || failure.number() == number;
    if (!expected)
        std::fprintf(stderr, "unexpected failure %d: %s\n", failure.number(), failure.what());
    FUZZ_CHECK(expected && !failure.description().isEmpty());
}

} // namespace fuzz
