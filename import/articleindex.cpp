#include "import/articleindex.h"

namespace {

QString key(const QString &text)
{
    return text.toCaseFolded();
}

} // namespace

ArticleIndex::ArticleIndex(Database &database)
{
    database.scanTable(QStringLiteral("Article"), {QStringLiteral("Code"), QStringLiteral("CodeBarre")},
                       [this](std::span<const TextValue> row) {
                           const auto position = static_cast<qsizetype>(m_codes.size());
                           // emplace keeps the first row holding a value.
                           if (row[0])
                               m_byCode.emplace(key(*row[0]), position);
                           if (row[1])
                               m_byBarcode.emplace(key(*row[1]), position);
                           m_codes.push_back(row[0]);
                       });
}

std::optional<ArticleIndex::Match> ArticleIndex::find(const QString &code) const
{
    const QString k = key(code);
    const auto byCode = m_byCode.constFind(k);
    const auto byBarcode = m_byBarcode.constFind(k);
    qsizetype row = -1;
    if (byCode != m_byCode.cend())
        row = *byCode;
    if (byBarcode != m_byBarcode.cend() && (row < 0 || *byBarcode < row))
        row = *byBarcode;
    if (row < 0)
        return std::nullopt;
    return Match{m_codes[static_cast<std::size_t>(row)]};
}
