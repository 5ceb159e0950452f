#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Files of a test, as bytes on disk. A file that cannot be written ends the test program:
// nothing it checks afterwards would mean anything.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        qFatal("cannot write %s", qPrintable(path));
}

// The file's bytes; "<absent>" when there is none to read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
}
