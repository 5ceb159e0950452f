#pragma once

#include "platform/database.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The table `Article` read once into two hash maps, value -> position of the first row holding
// it, one for `Code` and one for `CodeBarre`. A code resolves to the earlier of its two
// matches: exactly the first row that "WHERE CodeBarre=code OR Code=code" returns in the
// engine's scan order. Text equality is the engine's: letter case ignored (simple Unicode case
// folding, code point by code point), accents and every space significant, a null equal to
// nothing, not even the empty text.
//
// The texts live in one buffer and the maps hold row positions, so that reading 100,000
// articles costs a handful of allocations rather than one per value.
class ArticleIndex
{
public:
    // Reads the table; fails as the database fails (table or column missing, unreadable pages).
    explicit ArticleIndex(Database &database);

    struct Match
    {
        TextValue code; // the matching row's `Code`, which may be null
    };
    // The first matching row, or nothing when no row matches.
    std::optional<Match> find(QStringView code) const;

    qsizetype rowCount() const { return static_cast<qsizetype>(m_rows.size()); }
    // Bytes held by the index, for the benchmarks.
    std::size_t memoryBytes() const;

private:
    // A value in m_text, or a null.
    struct Slice
    {
        std::uint32_t offset = 0;
        std::int32_t length = -1; // -1 for a null
    };
    struct Row
    {
        Slice code;
        Slice barcode;
    };
    // Open addressing: a slot holds the folded hash of its value and the row position + 1.
    struct Slot
    {
        std::uint32_t hash = 0;
        std::uint32_t row = 0; // 0 for an empty slot
    };
    using Column = Slice Row::*;

    QStringView text(Slice slice) const;
    void fill(std::vector<Slot> &table, Column column);
    std::uint32_t firstRow(const std::vector<Slot> &table, Column column, QStringView value, std::uint32_t hash) const;

    QString m_text;
    std::vector<Row> m_rows;
    std::vector<Slot> m_byCode;
    std::vector<Slot> m_byBarcode;
};
