#pragma once

#include <QString>

#include <memory>

// Reading a count file, Windows-1252 text. CR LF, LF and a lone CR all end a line.
// Opening a path where no file exists fails with "Fichier introuvable : " and the path; a line
// longer than 64 MB fails too, as the file is then no count file.

class ByteSource; // buffered bytes of the open file

// The counting pass reads the file item by item, as sequential delimited input fills a text
// variable: leading spaces skipped, an item up to the next comma or line end (the delimiter
// consumed), a double-quoted item up to its closing quote, an empty line one empty item.
class DelimitedItemReader
{
public:
    explicit DelimitedItemReader(const QString &path);
    ~DelimitedItemReader();

    bool atEnd();
    QString readItem();

private:
    std::unique_ptr<ByteSource> m_source;
};

// The sending pass reads the file line by line; an empty line comes back as empty text.
class LineReader
{
public:
    explicit LineReader(const QString &path);
    ~LineReader();

    bool atEndOfStream();
    QString readLine();

private:
    std::unique_ptr<ByteSource> m_source;
};
