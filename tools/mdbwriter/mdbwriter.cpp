#include "tools/mdbwriter/mdbwriter.h"

#include "platform/failure.h"

#include <QSaveFile>
#include <QSet>
#include <QtEndian>

#include <array>
#include <cstring>
#include <functional>
#include <utility>
#include <variant>

namespace mdbwriter {
namespace {

constexpr int pageSize = 4096;
constexpr int dataHeaderSize = 14;
constexpr int maxRowsPerPage = 255; // the row number is one byte of a row pointer
constexpr int maxRowSize = 4060;
constexpr int usageMapSize = 69;
constexpr quint32 inlineMapPages = 64 * 8;
constexpr quint32 bitmapPagePages = (pageSize - 4) * 8;
constexpr int referenceMapPointers = 17;
constexpr quint32 maxPages = 0x80000000u / pageSize; // 2 GB
constexpr int maxNameLength = 64;
constexpr int maxColumns = 255;
constexpr int maxTextLength = 255;
constexpr int maxCompressedLength = 1024;
constexpr double creationDate = 45292.0; // 2024-01-01; fixed so that the output is reproducible
constexpr quint32 jetConstant = 1625;
constexpr quint32 catalogTdefPage = 2;
constexpr quint32 globalMapPage = 1;

enum Type : quint8 {
    Int = 0x03,
    Long = 0x04,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,
    Memo = 0x0C,
};

Failure invalid(const QString &description)
{
    return {Failure::DatabaseError, description};
}

QString quoted(const QString &name)
{
    return QStringLiteral("« ") + name + QStringLiteral(" »");
}

void put16(char *at, quint32 value)
{
    qToLittleEndian<quint16>(static_cast<quint16>(value), at);
}

void put32(char *at, quint32 value)
{
    qToLittleEndian<quint32>(value, at);
}

void putDouble(char *at, double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    qToLittleEndian<quint64>(bits, at);
}

void append16(QByteArray &out, quint32 value)
{
    const qsizetype at = out.size();
    out.resize(at + 2);
    put16(out.data() + at, value);
}

void append32(QByteArray &out, quint32 value)
{
    const qsizetype at = out.size();
    out.resize(at + 4);
    put32(out.data() + at, value);
}

void appendUtf16(QByteArray &out, QStringView text)
{
    const qsizetype at = out.size();
    out.resize(at + 2 * text.size());
    char *p = out.data() + at;
    for (const QChar c : text) {
        *p++ = static_cast<char>(c.unicode() & 0xFF);
        *p++ = static_cast<char>(c.unicode() >> 8);
    }
}

// Jet4 text: "compressed" (FF FE, then one byte per character) when every character fits in
// a byte, otherwise UTF-16LE. Short values stay uncompressed, as Access writes them.
void appendText(QByteArray &out, QStringView text)
{
    const qsizetype length = text.size();
    bool compress = length > 2 && length <= maxCompressedLength;
    for (qsizetype i = 0; compress && i < length; ++i) {
        const char16_t c = text[i].unicode();
        compress = c != 0 && c <= 0xFF;
    }
    const qsizetype at = out.size();
    if (compress) {
        out.resize(at + 2 + length);
        char *p = out.data() + at;
        *p++ = '\xFF';
        *p++ = '\xFE';
        for (const QChar c : text)
            *p++ = static_cast<char>(c.unicode());
    } else {
        appendUtf16(out, text);
    }
}

// The 128 header bytes at 0x18 are RC4-encrypted with a fixed key.
std::array<quint8, 128> headerMask()
{
    const std::array<quint8, 4> key = {0xC7, 0xDA, 0x39, 0x6B};
    std::array<quint8, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<quint8>(i);
    int j = 0;
    for (int i = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::array<quint8, 128> mask{};
    int a = 0;
    int b = 0;
    for (quint8 &m : mask) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        m = s[(s[a] + s[b]) & 0xFF];
    }
    return mask;
}

class Image
{
public:
    quint32 allocate(quint32 count = 1)
    {
        if (m_pages + count > maxPages)
            throw invalid(QStringLiteral("La base dépasserait la taille maximale d'un fichier Access (2 Go)."));
        const quint32 first = m_pages;
        m_bytes.append(qsizetype(count) * pageSize, '\0');
        m_pages += count;
        return first;
    }
    char *page(quint32 number) { return m_bytes.data() + qsizetype(number) * pageSize; }
    quint32 pageCount() const { return m_pages; }
    QByteArray take() { return std::move(m_bytes); }

private:
    QByteArray m_bytes;
    quint32 m_pages = 0;
};

// Packs rows into data pages: slot table after the 14-byte header, rows from the end of the
// page downwards, so that each row ends where the previous slot's row begins.
class PageWriter
{
public:
    PageWriter(Image &image, quint32 owner, std::function<quint32()> nextPage)
        : m_image(image), m_owner(owner), m_nextPage(std::move(nextPage))
    {
    }

    // Returns the row's pointer: page number << 8 | slot.
    quint32 add(const QByteArray &row, bool deleted)
    {
        const int length = static_cast<int>(row.size());
        if (!m_open || m_slots == maxRowsPerPage || dataHeaderSize + 2 * (m_slots + 1) > m_low - length) {
            seal();
            open();
        }
        char *page = m_image.page(m_pages.back());
        m_low -= length;
        std::memcpy(page + m_low, row.constData(), row.size());
        put16(page + dataHeaderSize + 2 * m_slots, quint32(m_low) | (deleted ? 0x8000u : 0u));
        return m_pages.back() << 8 | quint32(m_slots++);
    }

    void seal()
    {
        if (!m_open)
            return;
        char *page = m_image.page(m_pages.back());
        put16(page + 2, quint32(m_low - dataHeaderSize - 2 * m_slots));
        put16(page + 12, quint32(m_slots));
        m_open = false;
    }

    const std::vector<quint32> &pages() const { return m_pages; }

private:
    void open()
    {
        const quint32 number = m_nextPage();
        char *page = m_image.page(number);
        page[0] = 0x01;
        page[1] = 0x01;
        put32(page + 4, m_owner);
        m_pages.push_back(number);
        m_open = true;
        m_slots = 0;
        m_low = pageSize;
    }

    Image &m_image;
    quint32 m_owner;
    std::function<quint32()> m_nextPage;
    std::vector<quint32> m_pages;
    bool m_open = false;
    int m_slots = 0;
    int m_low = pageSize;
};

struct ColumnDef
{
    QString name;
    Type type = Text;
    quint16 length = 0; // bytes
    quint16 fixedOffset = 0;
    quint16 varIndex = 0; // variable column: its place in the offset list; fixed: variables before it

    bool isFixed() const { return type == Int || type == Long || type == DateTime; }
};

struct Layout
{
    QString name;
    bool system = false;
    std::vector<ColumnDef> columns;
    quint16 fixedSize = 0;
    quint16 varCount = 0;
    std::vector<quint16> longValueColumns; // MEMO and OLE columns, which own usage maps
};

int fixedSize(Type type)
{
    switch (type) {
    case Int:
        return 2;
    case Long:
        return 4;
    case DateTime:
        return 8;
    default:
        return 0;
    }
}

Layout makeLayout(const QString &name, bool system, std::vector<ColumnDef> columns)
{
    Layout layout{name, system, std::move(columns), 0, 0, {}};
    for (std::size_t i = 0; i < layout.columns.size(); ++i) {
        ColumnDef &column = layout.columns[i];
        if (column.isFixed()) {
            column.fixedOffset = layout.fixedSize;
            column.varIndex = layout.varCount;
            column.length = static_cast<quint16>(fixedSize(column.type));
            layout.fixedSize = static_cast<quint16>(layout.fixedSize + column.length);
        } else {
            column.varIndex = layout.varCount++;
            if (column.type == Memo || column.type == Ole)
                layout.longValueColumns.push_back(static_cast<quint16>(i));
        }
    }
    return layout;
}

// A value as the row encoder takes it: NULL, an integer, a date, or text.
using Cell = std::variant<std::monostate, qint64, double, QString>;

// Row: column count, fixed area, variable data, then end-of-data offset, variable offsets in
// reverse order, variable count, and the null mask (bit set = value present).
void encodeRow(const Layout &layout, const std::vector<Cell> &cells, QByteArray &out)
{
    const auto columnCount = static_cast<quint32>(layout.columns.size());
    out.fill('\0', 2 + layout.fixedSize);
    put16(out.data(), columnCount);
    std::array<quint16, maxColumns> varStarts{};
    std::array<char, (maxColumns + 7) / 8> mask{};
    for (quint32 i = 0; i < columnCount; ++i) {
        const ColumnDef &column = layout.columns[i];
        const Cell &cell = cells[i];
        if (!std::holds_alternative<std::monostate>(cell))
            mask[i / 8] = static_cast<char>(mask[i / 8] | (1 << (i % 8)));
        if (column.isFixed()) {
            char *at = out.data() + 2 + column.fixedOffset;
            if (const qint64 *number = std::get_if<qint64>(&cell)) {
                if (column.type == Int)
                    put16(at, static_cast<quint32>(*number));
                else
                    put32(at, static_cast<quint32>(*number));
            } else if (const double *date = std::get_if<double>(&cell)) {
                putDouble(at, *date);
            }
        } else {
            varStarts[column.varIndex] = static_cast<quint16>(out.size());
            if (const QString *text = std::get_if<QString>(&cell))
                appendText(out, *text);
        }
    }
    if (layout.varCount > 0) {
        append16(out, static_cast<quint32>(out.size()));
        for (int v = layout.varCount - 1; v >= 0; --v)
            append16(out, varStarts[v]);
        append16(out, layout.varCount);
    }
    out.append(mask.data(), (columnCount + 7) / 8);
}

// Table definition stream; it may run over several pages (see placeTdef).
QByteArray tdefStream(const Layout &layout, quint32 rowCount, quint32 ownedMap, quint32 freeMap,
                      const std::vector<std::pair<quint32, quint32>> &longValueMaps)
{
    const auto columnCount = static_cast<quint32>(layout.columns.size());
    QByteArray s(63, '\0');
    char *p = s.data();
    p[0] = 0x02;
    p[1] = 0x01;
    put32(p + 12, jetConstant);
    put32(p + 16, rowCount);
    p[24] = 0x01;
    p[40] = layout.system ? 0x53 : 0x4E;
    put16(p + 41, columnCount);
    put16(p + 43, layout.varCount);
    put16(p + 45, columnCount);
    put32(p + 55, ownedMap);
    put32(p + 59, freeMap);
    for (quint32 i = 0; i < columnCount; ++i) {
        const ColumnDef &column = layout.columns[i];
        const bool text = column.type == Text || column.type == Memo;
        char entry[25] = {};
        entry[0] = static_cast<char>(column.type);
        put32(entry + 1, jetConstant);
        put16(entry + 5, i);
        put16(entry + 7, column.varIndex);
        put16(entry + 9, i);
        if (text) {
            entry[11] = 0x09; // sort order 0x0409, "General"
            entry[12] = 0x04;
        }
        entry[15] = column.isFixed() ? 0x03 : 0x02; // fixed length, updatable
        entry[16] = text ? 0x01 : 0x00;             // compressed unicode allowed
        put16(entry + 21, column.fixedOffset);
        put16(entry + 23, column.length);
        s.append(entry, sizeof entry);
    }
    for (const ColumnDef &column : layout.columns) {
        append16(s, static_cast<quint32>(column.name.size() * 2));
        appendUtf16(s, column.name); // names are never compressed
    }
    for (std::size_t i = 0; i < layout.longValueColumns.size(); ++i) {
        append16(s, layout.longValueColumns[i]);
        append32(s, longValueMaps[i].first);
        append32(s, longValueMaps[i].second);
    }
    s.append("\xFF\xFF", 2);
    put32(s.data() + 8, static_cast<quint32>(s.size()));
    return s;
}

int tdefPageCount(qsizetype streamLength)
{
    if (streamLength <= pageSize)
        return 1;
    return 1 + static_cast<int>((streamLength - pageSize + pageSize - 9) / (pageSize - 8));
}

// The first page holds the stream's first 4096 bytes; each continuation page repeats the
// 8-byte header (type, free space, next page) and carries on at its offset 8.
void placeTdef(Image &image, quint32 firstPage, const QByteArray &stream)
{
    const int pages = tdefPageCount(stream.size());
    qsizetype from = 0;
    for (int k = 0; k < pages; ++k) {
        char *page = image.page(firstPage + quint32(k));
        const qsizetype start = k == 0 ? 0 : 8;
        const qsizetype chunk = std::min<qsizetype>(pageSize - start, stream.size() - from);
        std::memcpy(page + start, stream.constData() + from, chunk);
        from += chunk;
        page[0] = 0x02;
        page[1] = 0x01;
        put16(page + 2, quint32(std::max<qsizetype>(pageSize - (start + chunk) - 8, 0)));
        put32(page + 4, k + 1 < pages ? firstPage + quint32(k) + 1 : 0);
    }
}

void setBit(char *bitmap, quint32 bit)
{
    bitmap[bit / 8] = static_cast<char>(bitmap[bit / 8] | (1 << (bit % 8)));
}

// Usage map row listing the pages first .. first + count - 1: inline when they fit in one
// 512-page window, otherwise a reference map whose bitmaps live on pages of their own.
QByteArray usageMap(Image &image, quint32 first, quint32 count)
{
    QByteArray map(usageMapSize, '\0');
    if (count == 0)
        return map;
    const quint32 last = first + count - 1;
    const quint32 start = first & ~7u;
    if (last < start + inlineMapPages) {
        put32(map.data() + 1, start);
        for (quint32 page = first; page <= last; ++page)
            setBit(map.data() + 5, page - start);
        return map;
    }
    map[0] = 0x01;
    for (quint32 k = first / bitmapPagePages; k <= last / bitmapPagePages; ++k) {
        Q_ASSERT(k < referenceMapPointers); // maxPages keeps files below 17 bitmaps
        const quint32 bitmapPage = image.allocate();
        char *bitmap = image.page(bitmapPage);
        bitmap[0] = 0x05;
        bitmap[1] = 0x01;
        put32(map.data() + 1 + 4 * k, bitmapPage);
        const quint32 base = k * bitmapPagePages;
        const quint32 to = std::min(last, base + bitmapPagePages - 1);
        for (quint32 page = std::max(first, base); page <= to; ++page)
            setBit(bitmap + 4, page - base);
    }
    return map;
}

QByteArray lastPageMap(Image &image, const std::vector<quint32> &pages)
{
    return pages.empty() ? QByteArray(usageMapSize, '\0') : usageMap(image, pages.back(), 1);
}

// Page 1: the pages not yet allocated, then an all-zero map, as Access lays it out.
void writeGlobalMap(Image &image)
{
    const quint32 total = image.pageCount();
    const quint32 start = total < inlineMapPages ? 0 : (total & ~7u);
    QByteArray freePages(usageMapSize, '\0');
    put32(freePages.data() + 1, start);
    for (quint32 page = std::max(start, total); page < start + inlineMapPages; ++page)
        setBit(freePages.data() + 5, page - start);
    PageWriter writer(image, globalMapPage, [] { return globalMapPage; });
    writer.add(freePages, false);
    writer.add(QByteArray(usageMapSize, '\0'), false);
    writer.seal();
}

void writeHeader(Image &image)
{
    char *page = image.page(0);
    page[1] = 0x01;
    std::memcpy(page + 4, "Standard Jet DB", 15);
    put32(page + 0x14, 1); // Jet4
    std::array<char, 128> plain{};
    const auto at = [&plain](int fileOffset) { return plain.data() + fileOffset - 0x18; };
    put16(at(0x3C), 1252);
    put32(at(0x3E), 0); // no database key: pages are not encrypted
    // An empty password is stored as the creation date's mask.
    for (int i = 0; i < 10; ++i)
        put32(at(0x42 + 4 * i), static_cast<quint32>(static_cast<qint32>(creationDate)));
    put32(at(0x6E), 0x0409);
    putDouble(at(0x72), creationDate);
    const std::array<quint8, 128> mask = headerMask();
    for (std::size_t i = 0; i < plain.size(); ++i)
        page[0x18 + i] = static_cast<char>(static_cast<quint8>(plain[i]) ^ mask[i]);
}

Layout catalogLayout()
{
    const auto column = [](const char *name, Type type, quint16 length = 0) {
        return ColumnDef{QString::fromLatin1(name), type, length, 0, 0};
    };
    return makeLayout(QStringLiteral("MSysObjects"), true,
                      {column("Id", Long), column("ParentId", Long), column("Name", Text, 2 * maxTextLength),
                       column("Type", Int), column("DateCreate", DateTime), column("DateUpdate", DateTime),
                       column("Owner", Binary, 510), column("Flags", Long), column("Database", Memo),
                       column("Connect", Memo), column("ForeignName", Text, 2 * maxTextLength),
                       column("RmtInfoShort", Binary, 510), column("RmtInfoLong", Ole), column("Lv", Ole),
                       column("LvProp", Ole), column("LvModule", Ole), column("LvExtra", Ole)});
}

struct CatalogRow
{
    qint64 id;
    qint64 parentId;
    QString name;
    qint64 type;
    qint64 flags;
};

constexpr qint64 tablesContainer = 0x0F000001;
constexpr qint64 systemFlags = 0x80000000;

void checkName(const QString &name, const QString &kind)
{
    if (name.isEmpty())
        throw invalid(QStringLiteral("Un nom de %1 est vide.").arg(kind));
    if (name.size() > maxNameLength)
        throw invalid(
            QStringLiteral("Le nom de %1 %2 dépasse %3 caractères.").arg(kind, quoted(name)).arg(maxNameLength));
    if (name.front() == QLatin1Char(' '))
        throw invalid(QStringLiteral("Le nom de %1 %2 commence par une espace.").arg(kind, quoted(name)));
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringLiteral(".!`[]").contains(c))
            throw invalid(QStringLiteral("Le nom de %1 %2 contient un caractère interdit (U+%3).")
                              .arg(kind, quoted(name))
                              .arg(c.unicode(), 4, 16, QLatin1Char('0')));
    }
}

Layout userLayout(const Table &table, QSet<QString> &tableNames)
{
    checkName(table.name, QStringLiteral("table"));
    if (table.name.startsWith(QStringLiteral("MSys"), Qt::CaseInsensitive))
        throw invalid(QStringLiteral("Le nom de table %1 est réservé aux tables système.").arg(quoted(table.name)));
    if (tableNames.contains(table.name.toCaseFolded()))
        throw invalid(QStringLiteral("La table %1 est déclarée deux fois.").arg(quoted(table.name)));
    tableNames.insert(table.name.toCaseFolded());
    if (table.columns.empty())
        throw invalid(QStringLiteral("La table %1 n'a aucune colonne.").arg(quoted(table.name)));
    if (table.columns.size() > maxColumns)
        throw invalid(QStringLiteral("La table %1 a %2 colonnes ; une table en compte au plus %3.")
                          .arg(quoted(table.name))
                          .arg(table.columns.size())
                          .arg(maxColumns));
    std::vector<ColumnDef> columns;
    QSet<QString> columnNames;
    for (const Column &column : table.columns) {
        checkName(column.name, QStringLiteral("colonne"));
        if (columnNames.contains(column.name.toCaseFolded()))
            throw invalid(QStringLiteral("La colonne %1 apparaît deux fois dans la table %2.")
                              .arg(quoted(column.name), quoted(table.name)));
        columnNames.insert(column.name.toCaseFolded());
        if (column.maxLength < 1 || column.maxLength > maxTextLength)
            throw invalid(QStringLiteral("La longueur de la colonne %1 de la table %2 doit être "
                                         "comprise entre 1 et %3 (et non %4).")
                              .arg(quoted(column.name), quoted(table.name))
                              .arg(maxTextLength)
                              .arg(column.maxLength));
        columns.push_back({column.name, Text, static_cast<quint16>(2 * column.maxLength), 0, 0});
    }
    return makeLayout(table.name, false, std::move(columns));
}

void checkValues(const Table &table, const Row &row, std::size_t rowIndex)
{
    if (row.values.size() != table.columns.size())
        throw invalid(QStringLiteral("La ligne %1 de la table %2 a %3 valeurs pour %4 colonnes.")
                          .arg(rowIndex + 1)
                          .arg(quoted(table.name))
                          .arg(row.values.size())
                          .arg(table.columns.size()));
    for (std::size_t c = 0; c < row.values.size(); ++c) {
        if (!row.values[c])
            continue;
        const QString &value = *row.values[c];
        const Column &column = table.columns[c];
        if (value.size() > column.maxLength)
            throw invalid(QStringLiteral("La valeur de la colonne %1 à la ligne %2 de la table %3 "
                                         "compte %4 caractères pour une longueur maximale de %5.")
                              .arg(quoted(column.name))
                              .arg(rowIndex + 1)
                              .arg(quoted(table.name))
                              .arg(value.size())
                              .arg(column.maxLength));
        // Its bytes FF FE would read as the compression mark.
        if (value.startsWith(QChar(0xFEFF)))
            throw invalid(QStringLiteral("La valeur de la colonne %1 à la ligne %2 de la table %3 "
                                         "commence par le caractère U+FEFF, que le format ne "
                                         "peut pas enregistrer.")
                              .arg(quoted(column.name))
                              .arg(rowIndex + 1)
                              .arg(quoted(table.name)));
    }
}

} // namespace

QByteArray build(const std::vector<Table> &tables)
{
    QSet<QString> tableNames;
    std::vector<Layout> layouts;
    for (const Table &table : tables)
        layouts.push_back(userLayout(table, tableNames));
    const Layout catalog = catalogLayout();

    Image image;
    image.allocate(3); // header, global usage map, catalog definition

    // Usage maps: the catalog's two, two per long-value catalog column, two per table.
    const std::size_t mapRows = 2 + 2 * catalog.longValueColumns.size() + 2 * tables.size();
    const std::size_t mapsPerPage =
        std::min<std::size_t>(maxRowsPerPage, (pageSize - dataHeaderSize) / (usageMapSize + 2));
    const auto mapPageCount = static_cast<quint32>((mapRows + mapsPerPage - 1) / mapsPerPage);
    const quint32 firstMapPage = image.allocate(mapPageCount);

    std::vector<quint32> tdefPages;
    for (const Layout &layout : layouts) {
        const qsizetype length = tdefStream(layout, 0, 0, 0, {}).size();
        tdefPages.push_back(image.allocate(static_cast<quint32>(tdefPageCount(length))));
    }

    const auto allocateNext = [&image] { return image.allocate(); };
    QByteArray row;

    std::vector<CatalogRow> catalogRows = {
        {tablesContainer, 0x0F000000, QStringLiteral("Tables"), 3, systemFlags},
        {0x0F000002, 0x0F000000, QStringLiteral("Databases"), 3, systemFlags},
        {0x0F000003, 0x0F000000, QStringLiteral("Relationships"), 3, systemFlags},
        {catalogTdefPage, tablesContainer, catalog.name, 1, systemFlags},
    };
    for (std::size_t t = 0; t < tables.size(); ++t)
        catalogRows.push_back({tdefPages[t], tablesContainer, tables[t].name, 1, 0});
    PageWriter catalogWriter(image, catalogTdefPage, allocateNext);
    std::vector<Cell> cells(catalog.columns.size());
    for (const CatalogRow &entry : catalogRows) {
        cells[0] = entry.id;
        cells[1] = entry.parentId;
        cells[2] = entry.name;
        cells[3] = entry.type;
        cells[4] = creationDate;
        cells[5] = creationDate;
        cells[7] = entry.flags;
        encodeRow(catalog, cells, row);
        catalogWriter.add(row, false);
    }
    catalogWriter.seal();

    std::vector<std::vector<quint32>> dataPages;
    std::vector<quint32> liveRows;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const Table &table = tables[t];
        PageWriter writer(image, tdefPages[t], allocateNext);
        cells.assign(table.columns.size(), Cell());
        quint32 live = 0;
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const Row &source = table.rows[r];
            checkValues(table, source, r);
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (source.values[c])
                    cells[c] = *source.values[c];
                else
                    cells[c] = std::monostate();
            }
            encodeRow(layouts[t], cells, row);
            if (row.size() > maxRowSize)
                throw invalid(QStringLiteral("La ligne %1 de la table %2 occupe %3 octets ; "
                                             "une ligne en occupe au plus %4.")
                                  .arg(r + 1)
                                  .arg(quoted(table.name))
                                  .arg(row.size())
                                  .arg(maxRowSize));
            writer.add(row, source.deleted);
            if (!source.deleted)
                ++live;
        }
        writer.seal();
        dataPages.push_back(writer.pages());
        liveRows.push_back(live);
    }

    // Data pages of one table are consecutive, so a map is a first page and a count.
    const auto ownedMap = [&image](const std::vector<quint32> &pages) {
        return pages.empty() ? QByteArray(usageMapSize, '\0')
                             : usageMap(image, pages.front(), static_cast<quint32>(pages.size()));
    };
    quint32 nextMapPage = firstMapPage;
    PageWriter mapWriter(image, 0, [&nextMapPage] { return nextMapPage++; });
    const quint32 catalogOwned = mapWriter.add(ownedMap(catalogWriter.pages()), false);
    const quint32 catalogFree = mapWriter.add(lastPageMap(image, catalogWriter.pages()), false);
    std::vector<std::pair<quint32, quint32>> longValueMaps;
    for (std::size_t i = 0; i < catalog.longValueColumns.size(); ++i) {
        const quint32 owned = mapWriter.add(QByteArray(usageMapSize, '\0'), false);
        longValueMaps.emplace_back(owned, mapWriter.add(QByteArray(usageMapSize, '\0'), false));
    }
    placeTdef(image, catalogTdefPage,
              tdefStream(catalog, static_cast<quint32>(catalogRows.size()), catalogOwned, catalogFree, longValueMaps));
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const quint32 owned = mapWriter.add(ownedMap(dataPages[t]), false);
        const quint32 free = mapWriter.add(lastPageMap(image, dataPages[t]), false);
        placeTdef(image, tdefPages[t], tdefStream(layouts[t], liveRows[t], owned, free, {}));
    }
    mapWriter.seal();
    Q_ASSERT(nextMapPage == firstMapPage + mapPageCount);

    writeGlobalMap(image);
    writeHeader(image);
    return image.take();
}

void writeMdb(const QString &path, const std::vector<Table> &tables)
{
    const QByteArray bytes = build(tables);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure::fileAccess(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw Failure::fileAccess(path, reason);
    }
    if (!file.commit())
        throw Failure::fileAccess(path, file.errorString());
}

} // namespace mdbwriter
