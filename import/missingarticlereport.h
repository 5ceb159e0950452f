#pragma once

#include <QString>

// "Err_Inventaire.txt": the codes that matched no article, one line each, appended across
// imports and runs of the program and never emptied. Windows-1252, CR LF. A new file starts
// with a heading and an empty line. The file is opened and closed for each code.
class MissingArticleReport
{
public:
    explicit MissingArticleReport(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    // Fails with a French description when the file cannot be created or written.
    void append(const QString &code) const;

private:
    QString m_path;
};
