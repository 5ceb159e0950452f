#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <span>

// A text value of a database column: nullopt for a null, which is not the empty text.
using TextValue = std::optional<QString>;

// An open management database, read only.
class Database
{
public:
    using RowVisitor = std::function<void(std::span<const TextValue> values)>;

    virtual ~Database() = default;

    // Visits every live row of `table`, in the engine's scan order, with the values of
    // `columns` in the order asked. Table and column names are matched without regard to
    // letter case. Fails with a French description when the table or a column is missing or
    // when the table's pages cannot be read.
    virtual void scanTable(const QString &table, const QStringList &columns, const RowVisitor &visit) = 0;
};
