#pragma once

// What the fuzz targets share: a check that stops the run with its reason, a scratch folder for
// inputs that the code under test reads from a path, the failures expected, count files; and
// the operators' regional settings (tests/testlocale.h).

#include "platform/failure.h"
#include "tests/support/files.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

// libFuzzer keeps the input of any abort as a finding.
#define FUZZ_CHECK(condition) ((condition) ? void() : fuzz::fail(__FILE__, __LINE__, #condition))

namespace fuzz {

[[noreturn]] inline void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// A file of this process's folder, removed when the run ends normally; in memory where there
// is room, as the settings writer syncs its file to disk.
inline QString scratchPath(const QString &name)
{
    static const QTemporaryDir dir((QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath())
                                   + QStringLiteral("/tirvano-fuzz-XXXXXX"));
    FUZZ_CHECK(dir.isValid());
    return dir.filePath(name);
}

inline QString scratchFile(const QString &name, const QByteArray &bytes)
{
    writeFile(scratchPath(name), bytes);
    return scratchPath(name);
}

// A failure is one of the expected kinds, with a French description.
inline void expectFailure(const Failure &failure, std::initializer_list<int> numbers)
{
    if (std::find(numbers.begin(), numbers.end(), failure.number()) == numbers.end() || failure.description().isEmpty())
        fail("unexpected failure", failure.number(), failure.what());
}

// What the call gives, or nothing when it fails as expected.
template<typename Call> auto resultOf(Call call, std::initializer_list<int> failures) -> std::optional<decltype(call())>
{
    try {
        return call();
    } catch (const Failure &failure) {
        expectFailure(failure, failures);
        return std::nullopt;
    }
}

// A count file made of the input; one first byte in 16 puts the rest just before the end of
// the readers' 64 KB buffer, so that line ends and quotes straddle it.
inline QByteArray countFileBytes(const QByteArray &input)
{
    const bool straddle = !input.isEmpty() && (input[0] & 0xF0) == 0xF0;
    return QByteArray(straddle ? 64 * 1024 - (input[0] & 0x0F) : 0, 'x') + input.mid(1);
}

} // namespace fuzz
