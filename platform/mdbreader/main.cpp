// lecteur-mdb: reads an Access (.mdb) database for the program, in a process of its own, so
// that a damaged file that makes libmdb crash, loop or swallow memory takes only this
// process down. The program starts it under limits and reads its answer (answer.h).
//
//   lecteur-mdb FILE                    open the database and check its catalog
//   lecteur-mdb FILE TABLE [COLUMN...]  the same, then the rows of TABLE
#include "platform/mdbreader/answer.h"
#include "platform/mdbreader/mdbreading.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using mdbanswer::Status;

// The answer, written in large blocks on a descriptor of its own.
class AnswerWriter
{
public:
    explicit AnswerWriter(int fd) : m_fd(fd) { m_buffer.reserve(kBlock); }

    void row(std::span<const mdbreading::Value> values)
    {
        m_buffer.push_back(mdbanswer::kRow);
        for (const mdbreading::Value &value : values) {
            number(value ? static_cast<std::uint32_t>(value->size()) : mdbanswer::kNullValue);
            if (value)
                m_buffer.append(*value);
        }
        if (m_buffer.size() >= kBlock)
            flush();
    }

    void end(const mdbreading::Outcome &outcome)
    {
        m_buffer.push_back(mdbanswer::kEnd);
        m_buffer.push_back(static_cast<char16_t>(outcome.status));
        number(outcome.column);
        flush();
    }

private:
    static constexpr std::size_t kBlock = 32 * 1024; // units

    void number(std::uint32_t value)
    {
        m_buffer.push_back(static_cast<char16_t>(value & 0xFFFF));
        m_buffer.push_back(static_cast<char16_t>(value >> 16));
    }

    void flush()
    {
        const auto *bytes = reinterpret_cast<const char *>(m_buffer.data());
        std::size_t left = m_buffer.size() * sizeof(char16_t);
        while (left > 0) {
            const ssize_t written = ::write(m_fd, bytes, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                _exit(mdbanswer::kExitOutputFailed);
            bytes += written;
            left -= static_cast<std::size_t>(written);
        }
        m_buffer.clear();
    }

    int m_fd;
    std::u16string m_buffer;
};

// An allocation that the memory limit refuses ends the reader with a code of its own, rather
// than the abort that GLib would make of it.
void onGLibError(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer)
{
    if ((level & G_LOG_LEVEL_ERROR) && message && std::strstr(message, "failed to allocate"))
        _exit(mdbanswer::kExitOutOfMemory);
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    // The library prints its warnings and debugging dumps on the standard output: they go to
    // the standard error, and the answer to a descriptor of its own.
    const int answerFd = ::dup(STDOUT_FILENO);
    if (answerFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return mdbanswer::kExitOutputFailed;
    if (argc < 2)
        return mdbanswer::kExitUsage;
    g_log_set_default_handler(onGLibError, nullptr);

    try {
        AnswerWriter answer(answerFd);
        mdbreading::Outcome outcome;
        if (argc == 2) {
            outcome = mdbreading::open(argv[1]);
        } else {
            const std::vector<std::string> columns(argv + 3, argv + argc);
            outcome = mdbreading::scan(argv[1], argv[2], columns,
                                       [&](std::span<const mdbreading::Value> values) { answer.row(values); });
        }
        answer.end(outcome);
    } catch (const std::bad_alloc &) {
        _exit(mdbanswer::kExitOutOfMemory);
    }
    // Whatever the library left allocated goes with the process; freeing damaged structures
    // after the answer is sent could only fail.
    _exit(0);
}
