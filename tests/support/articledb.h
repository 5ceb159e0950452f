#pragma once

#include "tools/mdbwriter/mdbwriter.h"

#include <QString>

#include <optional>

// Test databases holding an `Article(Code, CodeBarre)` table, written by our own writer.
inline mdbwriter::Row article(std::optional<QString> code, std::optional<QString> barcode, bool deleted = false)
{
    return {{std::move(code), std::move(barcode)}, deleted};
}

inline mdbwriter::Table articleTable(std::vector<mdbwriter::Row> rows)
{
    return {
        QStringLiteral("Article"), {{QStringLiteral("Code"), 50}, {QStringLiteral("CodeBarre"), 50}}, std::move(rows)};
}

inline QString writeArticles(const QString &path, std::vector<mdbwriter::Row> rows)
{
    mdbwriter::writeMdb(path, {articleTable(std::move(rows))});
    return path;
}
