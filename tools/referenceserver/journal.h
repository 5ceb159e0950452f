#pragma once

#include <QJsonObject>
#include <QString>

// The server's journal: one JSON object per line in "journal.jsonl", appended by every server
// process that shares the directory. Each line is written by a single write() on a file
// opened for appending, so lines of two processes never mix. No directory, no journal.
class Journal
{
public:
    Journal(const QString &directory, const QString &progId);

    // Adds "progId" and "pid" to the entry.
    void write(QJsonObject entry) const;

    static QString fileName() { return QStringLiteral("journal.jsonl"); }

private:
    QString m_path;
    QString m_progId;
};
