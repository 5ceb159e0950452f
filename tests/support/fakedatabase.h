#pragma once

#include "platform/database.h"
#include "platform/failure.h"

#include <vector>

// An `Article(Code, CodeBarre)` table in memory, for tests of the import run that do not test the database.
class FakeDatabase : public Database
{
public:
    explicit FakeDatabase(std::vector<std::vector<TextValue>> rows) : m_rows(std::move(rows)) {}

    void scanTable(const QString &table, const QStringList &columns, const RowVisitor &visit) override
    {
        if (failure)
            throw *failure;
        if (table != QLatin1String("Article") || columns.size() != 2)
            throw Failure(Failure::DatabaseError,
                          QStringLiteral("Table introuvable dans la base de données : ") + table);
        for (const auto &row : m_rows) {
            std::vector<TextView> views;
            for (const TextValue &value : row)
                views.push_back(value ? TextView(*value) : std::nullopt);
            visit(views);
        }
    }

    std::optional<Failure> failure; // a table that cannot be read

private:
    std::vector<std::vector<TextValue>> m_rows;
};
