#pragma once

// What the fuzz targets share: the entry point, a check that stops the run with its reason, a
// scratch folder for inputs that the code under test reads from a path, the failures expected,
// count files, Windows-1252; and the operators' regional settings (tests/testlocale.h).
// Each target includes it once and defines fuzzOne.

#include "platform/ansi.h"
#include "platform/countfile.h"
#include "platform/failure.h"
#include "tests/support/files.h"
#include "tests/testlocale.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>
#include <optional>

// libFuzzer keeps the input of any abort, qFatal's included, as a finding.
#define FUZZ_CHECK(condition) ((condition) ? void() : qFatal("%s:%d: check failed: %s", __FILE__, __LINE__, #condition))

// What one input must satisfy; the bytes are libFuzzer's own, so that a read past them is seen.
void fuzzOne(const QByteArray &input);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzOne(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}

namespace fuzz {

// A file of this process's folder, removed when the run ends normally; in memory where there
// is room, as the settings writer syncs its file to disk. Without the folder, writeFile stops
// the run.
inline QString scratchPath(const QString &name)
{
    static const QTemporaryDir dir(
        (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/tirvano-fuzz-XXXXXX"));
    return dir.filePath(name);
}

inline QString scratchFile(const QString &name, const QByteArray &bytes)
{
    writeFile(scratchPath(name), bytes);
    return scratchPath(name);
}

// What the call gives, or nothing when it fails with one of the expected kinds and a French
// description.
template <typename Call>
auto resultOf(Call call, std::initializer_list<int> failures) -> std::optional<decltype(call())>
{
    try {
        return call();
    } catch (const Failure &failure) {
        if (!QList<int>(failures).contains(failure.number()) || failure.description().isEmpty())
            qFatal("unexpected failure %d %s", failure.number(), failure.what());
        return std::nullopt;
    }
}

// A count file made of the input, as comptage.txt; one first byte in 16 puts the rest just
// before the end of the readers' 64 KB buffer, so that line ends and quotes straddle it.
inline QByteArray countFile(const QByteArray &input)
{
    const bool straddle = !input.isEmpty() && (input[0] & 0xF0) == 0xF0;
    const QByteArray bytes = QByteArray(straddle ? 64 * 1024 - (input[0] & 0x0F) : 0, 'x') + input.mid(1);
    scratchFile(QStringLiteral("comptage.txt"), bytes);
    return bytes;
}

} // namespace fuzz
