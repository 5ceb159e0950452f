#pragma once

#include "tools/mdbwriter/mdbwriter.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The text forms the command line takes for columns and rows.
namespace mdbwriter {

// "Code:50,CodeBarre": column names separated by commas, each with an optional ":length"
// (characters, default 255).
std::vector<Column> parseColumns(const QString &definition);

// Rows as UTF-8 text, one row per line (LF or CR LF; a UTF-8 byte order mark at the start is
// skipped), fields separated by ";". In a field, "\N" on its own is NULL and an empty field is
// the empty text; "\;" is ";", "\\" is "\", "\t" a tab, "\r" a carriage return and "\n" a line
// feed. A line beginning with "\D" is a deleted row whose fields follow the marker.
// Every line, empty ones included, is a row; the line end of the last line is optional.
// Errors name the source and the line.
std::vector<Row> parseRows(const QByteArray &utf8, int columnCount, const QString &source);

} // namespace mdbwriter
