#include "settings/profile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include <optional>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// A–Z and the Latin-1 capitals À–Þ (but ×) fold to their small letters.
unsigned char foldCase(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7))
        return static_cast<unsigned char>(byte + 0x20);
    return byte;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    }
    return true;
}

bool isComment(QByteArrayView trimmedLine)
{
    return trimmedLine.startsWith(';') || trimmedLine.startsWith('#');
}

// The name of a section header line ("[name]"), or nothing for any other line.
std::optional<QByteArrayView> sectionName(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.lastIndexOf(']');
    if (close < 0)
        return std::nullopt;
    return text.sliced(1, close - 1);
}

// Where the "=" of a key line stands, or -1 for a line that holds no key.
qsizetype equalsSign(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty() || isComment(text) || text.startsWith('['))
        return -1;
    return line.indexOf('=');
}

bool hasLineEnd(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n');
}

// Names and values that the layout can hold and find again.
bool fitsLayout(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const QByteArrayView name = trimmed(key);
    return !hasLineEnd(section) && !hasLineEnd(key) && !hasLineEnd(value) && !name.isEmpty() && !name.contains('=')
           && !isComment(name) && !name.startsWith('[');
}

// CR LF, LF and a lone CR all end a line.
QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(bytes.sliced(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start));
    return lines;
}

QByteArray keyLine(QByteArrayView key, QByteArrayView value)
{
    QByteArray line = trimmed(key).toByteArray();
    line += '=';
    line += value;
    return line;
}

class Document
{
public:
    explicit Document(const QByteArray &bytes) : m_lines(splitLines(bytes)) {}

    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const
    {
        const qsizetype header = findSection(section);
        if (header < 0)
            return std::nullopt;
        const qsizetype line = findKey(header, key);
        if (line < 0)
            return std::nullopt;
        return m_lines[line].sliced(equalsSign(m_lines[line]) + 1);
    }

    void setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
    {
        qsizetype header = findSection(section);
        if (header < 0) {
            m_lines.append('[' + trimmed(section).toByteArray() + ']');
            header = m_lines.size() - 1;
        }
        const qsizetype line = findKey(header, key);
        if (line >= 0) {
            // The key keeps its spelling from the file; the blanks around "=" go.
            const QByteArray &old = m_lines[line];
            m_lines[line] = keyLine(QByteArrayView(old).first(equalsSign(old)), value);
            return;
        }
        qsizetype at = sectionEnd(header);
        while (at > header + 1 && trimmed(m_lines[at - 1]).isEmpty())
            --at;
        m_lines.insert(at, keyLine(key, value));
    }

    QByteArray bytes() const
    {
        QByteArray out;
        for (const QByteArray &line : m_lines)
            out += line + "\r\n";
        return out;
    }

private:
    qsizetype findSection(QByteArrayView section) const
    {
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const auto name = sectionName(m_lines[i]);
            if (name && sameName(*name, section))
                return i;
        }
        return -1;
    }

    qsizetype sectionEnd(qsizetype header) const
    {
        qsizetype i = header + 1;
        while (i < m_lines.size() && !sectionName(m_lines[i]))
            ++i;
        return i;
    }

    qsizetype findKey(qsizetype header, QByteArrayView key) const
    {
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const qsizetype equals = equalsSign(m_lines[i]);
            if (equals >= 0 && sameName(QByteArrayView(m_lines[i]).first(equals), key))
                return i;
        }
        return -1;
    }

    QList<QByteArray> m_lines;
};

// The file's bytes: empty when there is no file, nothing when a file is there but unreadable.
std::optional<QByteArray> load(const QString &path)
{
    if (!QFileInfo::exists(path))
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

namespace profile {

QByteArray readValue(const QString &path, QByteArrayView section, QByteArrayView key)
{
    const auto bytes = load(path);
    if (!bytes)
        return {};
    return Document(*bytes).value(section, key).value_or(QByteArray());
}

bool writeValue(const QString &path, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    if (path.isEmpty() || !fitsLayout(section, key, value))
        return false;
    const auto bytes = load(path);
    if (!bytes)
        return false;

    Document document(*bytes);
    document.setValue(section, key, value);

    // QSaveFile refuses to replace a file that is not writable, though the rename would let it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(document.bytes());
    return file.commit();
}

} // namespace profile
