#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <span>

// A text value of a database column: nullopt for a null, which is not the empty text.
using TextValue = std::optional<QString>;
// The same, looking into the scan's own buffers: valid only while the visitor runs.
using TextView = std::optional<QStringView>;

// An open management database, read only.
class Database
{
public:
    using RowVisitor = std::function<void(std::span<const TextView> values)>;

    virtual ~Database() = default;

    // Visits every live row of `table`, in the engine's scan order, with the values of
    // `columns` in the order asked. The values are views into buffers that the next row
    // reuses: a visitor copies what it keeps. Table and column names are matched without regard to
    // letter case. Fails with a French description when the table or a column is missing or
    // when the table's pages cannot be read.
    virtual void scanTable(const QString &table, const QStringList &columns, const RowVisitor &visit) = 0;
};
