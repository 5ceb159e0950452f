#include "import/articleindex.h"

#include "platform/failure.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace {

// The folded code point at `i`, which moves past it; a lone surrogate stands for itself.
char32_t nextFolded(QStringView text, qsizetype &i)
{
    const char16_t u = text[i++].unicode();
    if (u < 0x80) // codes are mostly ASCII: spare the Unicode tables
        return u >= u'A' && u <= u'Z' ? char32_t(u + 32) : char32_t(u);
    if (QChar::isHighSurrogate(u) && i < text.size() && text[i].isLowSurrogate())
        return QChar::toCaseFolded(QChar::surrogateToUcs4(u, text[i++].unicode()));
    return QChar::toCaseFolded(char32_t(u));
}

std::uint32_t foldedHash(QStringView text)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (qsizetype i = 0; i < text.size();) {
        hash ^= nextFolded(text, i);
        hash *= 16777619u;
    }
    return hash;
}

bool foldedEqual(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false; // simple folding keeps the length of a text in UTF-16
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (nextFolded(a, i) != nextFolded(b, j))
            return false;
    }
    return i == a.size() && j == b.size();
}

// A power of two at least twice the count, so that probe runs stay short.
std::size_t tableSize(std::size_t count)
{
    return std::bit_ceil(std::max<std::size_t>(16, count * 2));
}

} // namespace

ArticleIndex::ArticleIndex(Database &database)
{
    const auto keep = [this](const TextView &value) {
        if (!value)
            return Slice{};
        if (m_text.size() + value->size() > std::numeric_limits<std::int32_t>::max())
            throw Failure::overflow();
        const Slice slice{static_cast<std::uint32_t>(m_text.size()), static_cast<std::int32_t>(value->size())};
        m_text.append(*value);
        return slice;
    };
    database.scanTable(QStringLiteral("Article"), {QStringLiteral("Code"), QStringLiteral("CodeBarre")},
                       [&](std::span<const TextView> row) {
                           m_rows.push_back({keep(row[0]), keep(row[1])});
                       });
    if (m_rows.size() >= std::numeric_limits<std::uint32_t>::max())
        throw Failure::overflow();
    m_text.squeeze();
    fill(m_byCode, &Row::code);
    fill(m_byBarcode, &Row::barcode);
}

std::size_t ArticleIndex::memoryBytes() const
{
    return static_cast<std::size_t>(m_text.capacity()) * sizeof(QChar) + m_rows.capacity() * sizeof(Row)
           + (m_byCode.capacity() + m_byBarcode.capacity()) * sizeof(Slot);
}

QStringView ArticleIndex::text(Slice slice) const
{
    return QStringView(m_text).sliced(slice.offset, slice.length);
}

void ArticleIndex::fill(std::vector<Slot> &table, Column column)
{
    table.assign(tableSize(m_rows.size()), Slot{});
    const std::size_t mask = table.size() - 1;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        const Slice slice = m_rows[r].*column;
        if (slice.length < 0)
            continue; // a null is in no map
        const QStringView value = text(slice);
        const std::uint32_t hash = foldedHash(value);
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &slot = table[i];
            if (slot.row == 0) {
                slot = {hash, static_cast<std::uint32_t>(r + 1)};
                break;
            }
            // An equal value seen on an earlier row keeps its place.
            if (slot.hash == hash && foldedEqual(text(m_rows[slot.row - 1].*column), value))
                break;
        }
    }
}

std::uint32_t ArticleIndex::firstRow(const std::vector<Slot> &table, Column column, QStringView value,
                                     std::uint32_t hash) const
{
    const std::size_t mask = table.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = table[i];
        if (slot.row == 0)
            return 0;
        if (slot.hash == hash && foldedEqual(text(m_rows[slot.row - 1].*column), value))
            return slot.row;
    }
}

std::optional<ArticleIndex::Match> ArticleIndex::find(QStringView code) const
{
    const std::uint32_t hash = foldedHash(code);
    const std::uint32_t byCode = firstRow(m_byCode, &Row::code, code, hash);
    const std::uint32_t byBarcode = firstRow(m_byBarcode, &Row::barcode, code, hash);
    const std::uint32_t row = byCode == 0 ? byBarcode : byBarcode == 0 ? byCode : std::min(byCode, byBarcode);
    if (row == 0)
        return std::nullopt;
    const Slice code_ = m_rows[row - 1].code;
    return Match{code_.length < 0 ? TextValue() : TextValue(text(code_).toString())};
}
