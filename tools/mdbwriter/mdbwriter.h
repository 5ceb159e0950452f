#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// Writes Access 2000-2003 (Jet4) .mdb files holding text tables: the fixtures of the tests,
// the benchmark databases and the demo's management database. Read back by mdbtools' libmdb.
namespace mdbwriter {

// A TEXT column; its maximum length counts UTF-16 code units, as Access counts characters.
struct Column
{
    QString name;
    int maxLength = 255; // 1 to 255
};

struct Row
{
    std::vector<std::optional<QString>> values; // one per column; std::nullopt is NULL
    // Written with the "deleted" slot flag: a reader that honours the format skips the row,
    // and the table's row count leaves it out.
    bool deleted = false;
};

struct Table
{
    QString name;
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// The whole file, built in memory. Always the same bytes for the same tables.
// Throws Failure (in French) for a bad name, a row of the wrong width, a value longer than its
// column or beginning with U+FEFF, or a row too long for a page.
QByteArray build(const std::vector<Table> &tables);

// Builds the file, then writes it in one go through a temporary file renamed into place:
// on any failure the path is left as it was (absent or holding its previous content).
void writeMdb(const QString &path, const std::vector<Table> &tables);

} // namespace mdbwriter
