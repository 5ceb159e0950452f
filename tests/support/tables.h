#pragma once

#include "tests/support/files.h"

#include <QList>
#include <QTest>

// The rows of a table file of tests/data: a row a line, its fields between tabs (a run of tabs
// is one separator), blank lines and "#" lines left out. In a field, \s \t \r \n \0 \\ and \xHH
// stand for a space, a tab, CR, LF, NUL, a backslash and any byte, so that every byte shows;
// \{N} makes the byte before it N bytes in a row; "" is the empty field and <null> the null one
// (a null QByteArray).
inline QByteArray unescaped(const QByteArray &field)
{
    if (field == "<null>")
        return QByteArray();
    QByteArray bytes("");
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;
        if (c == 'x')
            bytes += char(field.mid((i += 2) - 1, 2).toInt(nullptr, 16));
        else if (c == '{') {
            const qsizetype close = field.indexOf('}', i);
            bytes += QByteArray(field.mid(i + 1, close - i - 1).toInt() - 1, bytes.back());
            i = close;
        } else if (c)
            bytes += c == 's' ? ' ' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
        else if (field != "\"\"")
            bytes += field[i];
    }
    return bytes;
}

inline QList<QList<QByteArray>> tableRows(const QString &path)
{
    if (!QFile::exists(path))
        qFatal("no table %s", qPrintable(path));
    QList<QList<QByteArray>> rows;
    for (const QByteArray &line : readFile(path).split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        QList<QByteArray> fields;
        for (const QByteArray &field : line.split('\t'))
            if (!field.isEmpty())
                fields << unescaped(field);
        rows << fields;
    }
    return rows;
}

// One QTest row a case of the table `table` of tests/data/<file>, whose rows name their table
// first and their case second, or of every row when `table` is null; the other fields go in
// the column "row".
inline void addTableRows(const char *file, const char *table = nullptr)
{
    QTest::addColumn<QByteArrayList>("row");
    // Suites that run as nobody carry their tables: the source tree may be out of their reach.
    const QString embedded = QStringLiteral(":/") + QLatin1String(file);
    const QString path =
        QFile::exists(embedded) ? embedded : QStringLiteral(TIRVANO_TEST_DATA "/") + QLatin1String(file);
    for (QList<QByteArray> fields : tableRows(path)) {
        if (fields.size() < 2 || (table && fields.takeFirst() != table))
            continue;
        const QByteArray name = fields.takeFirst();
        QTest::newRow(name.constData()) << fields;
    }
}
