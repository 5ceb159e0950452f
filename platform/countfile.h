#pragma once

#include <QFile>
#include <QString>

#include <memory>

// Reading a count file, Windows-1252 text. CR LF, LF and a lone CR all end a line.
// Opening a path where no file exists fails with "Fichier introuvable : " and the path; a line
// longer than 64 MB fails too, as the file is then no count file.

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

// The counting pass reads the file item by item, as sequential delimited input fills a text
// variable: leading spaces skipped, an item up to the next comma or line end (the delimiter
// consumed), a double-quoted item up to its closing quote, an empty line one empty item.
class DelimitedItemReader
{
public:
    explicit DelimitedItemReader(const QString &path) : m_source(path) {}

    bool atEnd() { return m_source.atEnd(); }
    QString readItem();

private:
    ByteSource m_source;
};

// The sending pass reads the file line by line; an empty line comes back as empty text.
class LineReader
{
public:
    explicit LineReader(const QString &path) : m_source(path) {}

    bool atEndOfStream() { return m_source.atEnd(); }
    QString readLine();

private:
    ByteSource m_source;
};
