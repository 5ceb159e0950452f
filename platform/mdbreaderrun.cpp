#include "platform/mdbreaderrun.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <limits>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

// AddressSanitizer reserves terabytes of address space: RLIMIT_AS would stop it at start.
#if defined(__SANITIZE_ADDRESS__)
#define TIRVANO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TIRVANO_ADDRESS_SANITIZER 1
#endif
#endif

// Measured: the reader needs under 16 MiB of address space and reads 200 to 300 MB of table
// a second (docs/reliability.md). The limits leave a tenfold margin or more for slower
// machines and larger catalogs, and still stop a small file that loops or swallows memory
// within a second. The wall clock allows for cores shared with other work.
MdbReaderLimits MdbReaderLimits::forFileSize(qint64 bytes)
{
    constexpr qint64 MiB = 1024 * 1024;
    const qint64 cpuSeconds = 1 + bytes / (16 * MiB);
    const qint64 wallMilliseconds = 1000 + 2000 * cpuSeconds;
    return {static_cast<long>(cpuSeconds), 128 * MiB + bytes,
            static_cast<int>(std::min<qint64>(wallMilliseconds, std::numeric_limits<int>::max()))};
}

namespace {

using mdbanswer::Status;

// Lowers a limit of the calling process; never raises it past its hard limit. Runs between
// fork and exec: system calls only.
void lowerLimit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit current{};
    if (::getrlimit(resource, &current) != 0)
        return;
    const rlimit wanted{std::min(soft, current.rlim_max), std::min(hard, current.rlim_max)};
    ::setrlimit(resource, &wanted);
}

// Reads the answer as it comes and hands its rows on.
class AnswerReader
{
public:
    AnswerReader(int columns, qint64 fileSize, const Database::RowVisitor &visit)
        : // A value is never longer than the file (one byte a character at best) or the text
          // the library makes of a number; a row needs at least two bytes of the file.
          m_maxValue(static_cast<std::uint64_t>(fileSize) + 4096),
          m_maxRows(static_cast<std::uint64_t>(fileSize) / 2),
          m_visit(visit),
          m_units(8192),
          m_values(static_cast<std::size_t>(columns))
    {
    }

    // Takes what the reader wrote so far; false when it cannot be an answer.
    bool take(QProcess &process)
    {
        for (;;) {
            const std::size_t capacity = m_units.size() * sizeof(char16_t);
            const qint64 got = process.read(reinterpret_cast<char *>(m_units.data()) + m_bytes,
                                            static_cast<qint64>(capacity - m_bytes));
            if (got <= 0)
                return true;
            m_bytes += static_cast<std::size_t>(got);
            if (!parse())
                return false;
            makeRoom();
        }
    }

    bool whole() const { return m_end && m_bytes == m_next * sizeof(char16_t); }
    Status status() const { return m_status; }
    std::uint32_t column() const { return m_column; }

private:
    std::size_t units() const { return m_bytes / sizeof(char16_t); }
    std::uint32_t number(std::size_t at) const { return m_units[at] | (std::uint32_t(m_units[at + 1]) << 16); }

    // Visits every whole record; stops at one still coming.
    bool parse()
    {
        while (m_next < units()) {
            if (m_end)
                return false; // nothing follows the end
            const std::size_t at = m_next;
            if (m_units[at] == mdbanswer::kEnd) {
                if (units() - at < 4)
                    return true;
                if (m_units[at + 1] > static_cast<char16_t>(Status::TableUnreadable))
                    return false;
                m_status = static_cast<Status>(m_units[at + 1]);
                m_column = number(at + 2);
                m_end = true;
                m_next = at + 4;
                continue;
            }
            if (m_units[at] != mdbanswer::kRow || !m_visit)
                return false;
            std::size_t p = at + 1;
            for (auto &value : m_values) {
                if (units() - p < 2)
                    return true;
                const std::uint32_t header = number(p);
                p += 2;
                if (header == mdbanswer::kNullValue) {
                    value.reset();
                    continue;
                }
                if (header > m_maxValue)
                    return false;
                if (units() - p < header)
                    return true;
                value = QStringView(m_units.data() + p, static_cast<qsizetype>(header));
                p += header;
            }
            if (++m_rows > m_maxRows)
                return false;
            m_visit(m_values);
            m_next = p;
        }
        return true;
    }

    // Moves the record still coming to the front, and grows the buffer if it fills it.
    void makeRoom()
    {
        if (m_next > 0) {
            std::copy(reinterpret_cast<const char *>(m_units.data() + m_next),
                      reinterpret_cast<const char *>(m_units.data()) + m_bytes,
                      reinterpret_cast<char *>(m_units.data()));
            m_bytes -= m_next * sizeof(char16_t);
            m_next = 0;
        }
        if (m_bytes == m_units.size() * sizeof(char16_t))
            m_units.resize(m_units.size() * 2);
    }

    const std::uint64_t m_maxValue;
    const std::uint64_t m_maxRows;
    const Database::RowVisitor &m_visit;
    std::vector<char16_t> m_units;
    std::size_t m_bytes = 0; // filled, from the front
    std::size_t m_next = 0;  // unit where the next record starts
    std::uint64_t m_rows = 0;
    std::vector<TextView> m_values;
    bool m_end = false;
    Status m_status = Status::Ok;
    std::uint32_t m_column = 0;
};

void kill(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
}

// However the reading ends, early or on a visitor's failure, the reader is gone after it.
struct KillOnExit
{
    QProcess &process;
    ~KillOnExit() { kill(process); }
};

} // namespace

MdbReaderEnding runMdbReader(const QString &reader, int fileFd, qint64 fileSize, const QStringList &arguments,
                             int columns, const Database::RowVisitor &visit)
{
    const MdbReaderLimits limits = MdbReaderLimits::forFileSize(fileSize);
    const QDeadlineTimer deadline(limits.wallMilliseconds);
    QProcess process;
    const KillOnExit guard{process};
    process.setProgram(reader);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setChildProcessModifier([fileFd, limits] {
        ::dup2(fileFd, STDIN_FILENO);
        const auto cpu = static_cast<rlim_t>(limits.cpuSeconds);
        // SIGXCPU at the soft limit, SIGKILL a second later should it be caught.
        lowerLimit(RLIMIT_CPU, cpu, cpu + 1);
        lowerLimit(RLIMIT_CORE, 0, 0);
#ifndef TIRVANO_ADDRESS_SANITIZER
        lowerLimit(RLIMIT_AS, static_cast<rlim_t>(limits.addressSpace), static_cast<rlim_t>(limits.addressSpace));
#endif
    });
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime())))
        return {MdbReaderEnding::NotStarted};

    AnswerReader answer(columns, fileSize, visit);
    while (process.state() == QProcess::Running) {
        if (!answer.take(process))
            return {MdbReaderEnding::BadAnswer};
        if (deadline.hasExpired())
            return {MdbReaderEnding::TimeLimit};
        process.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
    if (!answer.take(process))
        return {MdbReaderEnding::BadAnswer};

    if (process.exitStatus() == QProcess::CrashExit) {
        // Qt gives the signal as the exit code of a crash.
        const int signal = process.exitCode();
        return {signal == SIGXCPU || signal == SIGKILL ? MdbReaderEnding::TimeLimit : MdbReaderEnding::Crashed};
    }
    if (process.exitCode() == mdbanswer::kExitOutOfMemory)
        return {MdbReaderEnding::MemoryLimit};
    if (process.exitCode() != 0)
        return {MdbReaderEnding::Crashed};
    if (!answer.whole())
        return {MdbReaderEnding::BadAnswer};
    return {MdbReaderEnding::Answered, answer.status(), answer.column()};
}
