#pragma once

#include "platform/database.h"

#include <QHash>
#include <QString>

#include <optional>
#include <vector>

// The table `Article` read once into two hash maps, value -> position of the first row holding
// it, one for `Code` and one for `CodeBarre`. A code resolves to the earlier of its two
// matches: exactly the first row that "WHERE CodeBarre=code OR Code=code" returns in the
// engine's scan order. Text equality is the engine's: letter case ignored (Unicode case
// folding), accents and trailing spaces significant, a null equal to nothing.
class ArticleIndex
{
public:
    // Reads the table; fails as the database fails (table or column missing, unreadable pages).
    explicit ArticleIndex(Database &database);

    struct Match {
        TextValue code; // the matching row's `Code`, which may be null
    };
    // The first matching row, or nothing when no row matches.
    std::optional<Match> find(const QString &code) const;

    qsizetype rowCount() const { return static_cast<qsizetype>(m_codes.size()); }

private:
    QHash<QString, qsizetype> m_byCode;
    QHash<QString, qsizetype> m_byBarcode;
    std::vector<TextValue> m_codes;
};
