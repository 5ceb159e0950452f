#pragma once

#include <QFile>
#include <QTest>

// Tables of cases kept as data in tests/data/<file>: one row a line, a tab between fields, the
// first naming the row's table (so that '#' starts a comment), the second the case. In the
// other fields \r, \n, \t, \\ and \xHH stand for those bytes; the file is UTF-8.
inline QByteArray unescaped(const QByteArray &field)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;
        if (c == 'x')
            bytes += char(field.mid((i += 2) - 1, 2).toInt(nullptr, 16));
        else
            bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c ? c : field[i];
    }
    return bytes;
}

// One QTest row a case of the table, named after it, holding the next fields as "row".
inline void addTableRows(const char *file, const char *table)
{
    QTest::addColumn<QByteArrayList>("row");
    QFile data(QStringLiteral(TIRVANO_TEST_DATA "/") + QLatin1String(file));
    if (!data.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", file);
    for (const QByteArray &line : data.readAll().split('\n')) {
        QByteArrayList fields = line.split('\t');
        if (fields.size() < 2 || fields.takeFirst() != table)
            continue;
        const QByteArray name = fields.takeFirst();
        for (QByteArray &field : fields)
            field = unescaped(field);
        QTest::newRow(name.constData()) << fields;
    }
}
