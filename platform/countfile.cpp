#include "platform/countfile.h"

#include "platform/ansi.h"
#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr qint64 kChunk = 64 * 1024;
constexpr int CR = '\r';
constexpr int LF = '\n';
// A count file's line is a code and a quantity; a line this long means a file that is not a
// count file, which must end in a message rather than take all memory.
constexpr qsizetype kLongestLine = 64 * 1024 * 1024;

void appendChecked(QByteArray &text, int c, const QString &path)
{
    if (text.size() >= kLongestLine)
        throw Failure(Failure::OutOfMemory,
                      QStringLiteral("Mémoire insuffisante : une ligne de plus de 64 Mo dans le fichier ") + path);
    text.append(static_cast<char>(c));
}
} // namespace

// Buffered bytes of an open file, with one byte of look-ahead.
class ByteSource
{
public:
    explicit ByteSource(const QString &path);
    ByteSource(const ByteSource &) = delete;
    ByteSource &operator=(const ByteSource &) = delete;

    const QString &path() const { return m_path; }
    bool atEnd();
    int peek(); // -1 at the end
    int get();  // -1 at the end
    // Consumes a line end (CR LF, LF or a lone CR) if one is next.
    bool skipLineEnd();

private:
    bool fill();

    QString m_path;
    QFile m_file;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
};

ByteSource::ByteSource(const QString &path) : m_path(path), m_file(path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw Failure::fileNotFound(path);
    if (info.isDir() || !m_file.open(QIODevice::ReadOnly))
        throw Failure::fileAccess(path, info.isDir() ? QStringLiteral("c'est un dossier") : QString());
}

bool ByteSource::fill()
{
    if (m_pos < m_buffer.size())
        return true;
    m_buffer = m_file.read(kChunk);
    m_pos = 0;
    if (m_buffer.isEmpty() && m_file.error() != QFileDevice::NoError)
        throw Failure::fileAccess(m_path, QStringLiteral("lecture impossible"));
    return !m_buffer.isEmpty();
}

bool ByteSource::atEnd()
{
    return !fill();
}

int ByteSource::peek()
{
    return fill() ? static_cast<unsigned char>(m_buffer[m_pos]) : -1;
}

int ByteSource::get()
{
    return fill() ? static_cast<unsigned char>(m_buffer[m_pos++]) : -1;
}

bool ByteSource::skipLineEnd()
{
    const int c = peek();
    if (c == LF) {
        get();
        return true;
    }
    if (c == CR) {
        get();
        if (peek() == LF)
            get();
        return true;
    }
    return false;
}

DelimitedItemReader::DelimitedItemReader(const QString &path) : m_source(std::make_unique<ByteSource>(path))
{
}

DelimitedItemReader::~DelimitedItemReader() = default;

bool DelimitedItemReader::atEnd()
{
    return m_source->atEnd();
}

QString DelimitedItemReader::readItem()
{
    while (m_source->peek() == ' ')
        m_source->get();

    QByteArray item;
    if (m_source->peek() == '"') {
        m_source->get();
        for (int c = m_source->get(); c != -1 && c != '"'; c = m_source->get())
            appendChecked(item, c, m_source->path());
        // Whatever stands between the closing quote and the delimiter is not part of the item.
        for (int c = m_source->peek(); c != -1 && c != ',' && c != CR && c != LF; c = m_source->peek())
            m_source->get();
    } else {
        for (int c = m_source->peek(); c != -1 && c != ',' && c != CR && c != LF; c = m_source->peek())
            appendChecked(item, m_source->get(), m_source->path());
    }
    if (m_source->peek() == ',')
        m_source->get();
    else
        m_source->skipLineEnd();
    return ansi::decode(item);
}

LineReader::LineReader(const QString &path) : m_source(std::make_unique<ByteSource>(path))
{
}

LineReader::~LineReader() = default;

bool LineReader::atEndOfStream()
{
    return m_source->atEnd();
}

QString LineReader::readLine()
{
    QByteArray line;
    for (int c = m_source->peek(); c != -1 && c != CR && c != LF; c = m_source->peek())
        appendChecked(line, m_source->get(), m_source->path());
    m_source->skipLineEnd();
    return ansi::decode(line);
}
