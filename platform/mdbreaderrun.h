#pragma once

#include "platform/database.h"
#include "platform/mdbreader/answer.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Limits of one run of the database reader, scaled to the size of the file it reads.
struct MdbReaderLimits
{
    static MdbReaderLimits forFileSize(qint64 bytes);

    long cpuSeconds;      // RLIMIT_CPU
    qint64 addressSpace;  // RLIMIT_AS, in bytes; not applied under AddressSanitizer
    int wallMilliseconds; // the program's own guard, for a reader that waits instead of working
};

// How a run of the reader ended.
struct MdbReaderEnding
{
    enum Kind {
        Answered,    // a whole answer, then a normal exit: `status` and `column` hold its end
        NotStarted,  // the reader program is missing or cannot be run
        TimeLimit,   // CPU time or wall-clock time ran out
        MemoryLimit, // an allocation was refused
        Crashed,     // killed by a signal or ended with an error code
        BadAnswer,   // an answer that breaks its format, or none
    };
    Kind kind;
    mdbanswer::Status status = mdbanswer::Status::Ok;
    std::uint32_t column = 0;
};

// Runs the reader program `reader` on the open file `fileFd`, which it gets as its standard
// input and reads as /proc/self/fd/0: the first of `arguments`. Rows of the answer go to
// `visit` as they come, with `columns` values each. Waits for the end, within the limits; a
// run that goes past them is killed. The window's events are not processed meanwhile.
MdbReaderEnding runMdbReader(const QString &reader, int fileFd, qint64 fileSize, const QStringList &arguments,
                             int columns, const Database::RowVisitor &visit);
