#include "platform/mdbdatabase.h"

#include "platform/failure.h"

#include <QFile>
#include <QFileInfo>

#include <mdbtools.h>

#include <string>
#include <vector>

namespace {

constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedRow = 0x8000;
constexpr int kOverflowRow = 0x4000;

Failure databaseFailure(const QString &text)
{
    return {Failure::DatabaseError, text};
}

// Jet4 text is UTF-16LE, or "compressed": FF FE, then one byte per character, a zero byte
// switching between one and two bytes per character. Decoded here rather than through the
// library's iconv so that characters outside the BMP survive.
void decodeJet4Text(const unsigned char *p, int len, std::u16string &text)
{
    text.clear();
    if (len >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        for (int i = 2; i < len;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                text.push_back(static_cast<char16_t>(p[i]));
                ++i;
            } else if (i + 1 < len) {
                text.push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
        return;
    }
    for (int i = 0; i + 1 < len; i += 2)
        text.push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
}

// Refuses what is plainly not an Access database before the library parses it.
void checkAccessFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw Failure::fileNotFound(path);
    if (!info.isFile())
        throw databaseFailure(QStringLiteral("Ce chemin ne désigne pas une base de données Access : ") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure::fileAccess(path, file.errorString());
    const QByteArray head = file.read(0x15);
    const bool jet = head.size() == 0x15 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4))
                     && (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
    if (!jet) {
        throw databaseFailure(info.size() == 0
                                  ? QStringLiteral("La base de données est un fichier vide : ") + path
                                  : QStringLiteral("Ce fichier n'est pas une base de données Access : ") + path);
    }
}

// A table's two page maps are rows that its definition page points at; the library copies them
// without checking the pointers, and a damaged one makes it read outside its buffers. Each
// pointer must name an existing row of a data page.
bool pageMapsReadable(MdbHandle *mdb, unsigned long tdefPage)
{
    const MdbFormatConstants &fmt = *mdb->fmt;
    const auto pageSize = static_cast<int>(fmt.pg_size);
    if (mdb_read_alt_pg(mdb, tdefPage) != fmt.pg_size || mdb->alt_pg_buf[0] != MDB_PAGE_TABLE)
        return false;
    const long pointers[] = {mdb_get_int32(mdb->alt_pg_buf, fmt.tab_usage_map_offset),
                             mdb_get_int32(mdb->alt_pg_buf, fmt.tab_free_map_offset)};
    for (const long pointer : pointers) {
        const auto page = static_cast<unsigned long>(pointer) >> 8;
        const int row = static_cast<int>(pointer & 0xff);
        if (mdb_read_alt_pg(mdb, page) != fmt.pg_size || mdb->alt_pg_buf[0] != MDB_PAGE_DATA)
            return false;
        const int rows = mdb_get_int16(mdb->alt_pg_buf, fmt.row_count_offset);
        const int slotTableEnd = fmt.row_count_offset + 2 + rows * 2;
        if (row >= rows || slotTableEnd > pageSize)
            return false;
        const int start = mdb_get_int16(mdb->alt_pg_buf, fmt.row_count_offset + 2 + row * 2) & kOffsetMask;
        const int end = row == 0 ? pageSize
                                 : mdb_get_int16(mdb->alt_pg_buf, fmt.row_count_offset + row * 2) & kOffsetMask;
        if (start < slotTableEnd || start >= end || end > pageSize)
            return false;
    }
    return true;
}

class MdbDatabase final : public Database
{
public:
    MdbDatabase(MdbHandle *mdb, QString path) : m_mdb(mdb), m_path(std::move(path)) {}
    ~MdbDatabase() override { mdb_close(m_mdb); }
    MdbDatabase(const MdbDatabase &) = delete;
    MdbDatabase &operator=(const MdbDatabase &) = delete;

    void scanTable(const QString &tableName, const QStringList &columns, const RowVisitor &visit) override;

private:
    TextView fieldText(const MdbColumn &column, const MdbField &field, std::u16string &buffer);
    Failure unreadable(const QString &tableName) const
    {
        return databaseFailure(QStringLiteral("Les pages de la table %1 sont illisibles : la base de données %2 est "
                                              "tronquée ou endommagée")
                                   .arg(tableName, m_path));
    }

    MdbHandle *m_mdb;
    QString m_path;
};

struct TableDef {
    MdbTableDef *def;
    ~TableDef() { mdb_free_tabledef(def); }
};

TextView MdbDatabase::fieldText(const MdbColumn &column, const MdbField &field, std::u16string &buffer)
{
    if (field.is_null)
        return std::nullopt;
    buffer.clear();
    if (field.siz > 0) {
        if (field.start < 0 || field.start + field.siz > static_cast<int>(sizeof m_mdb->pg_buf))
            throw unreadable(QString::fromUtf8(column.name));
        if (column.col_type == MDB_TEXT && !IS_JET3(m_mdb)) {
            decodeJet4Text(m_mdb->pg_buf + field.start, field.siz, buffer);
        } else {
            char *text = mdb_col_to_string(m_mdb, m_mdb->pg_buf, field.start, column.col_type, field.siz);
            buffer = QString::fromUtf8(text).toStdU16String();
            g_free(text);
        }
    }
    return QStringView(buffer);
}

void MdbDatabase::scanTable(const QString &tableName, const QStringList &columns, const RowVisitor &visit)
{
    QByteArray name = tableName.toUtf8();
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(m_mdb, name.constData());
    if (!entry || entry->object_type != MDB_TABLE)
        throw databaseFailure(QStringLiteral("Table introuvable dans la base de données : ") + tableName);
    if (!pageMapsReadable(m_mdb, entry->table_pg))
        throw unreadable(tableName);
    const TableDef table{mdb_read_table(entry)};
    if (!table.def || !mdb_read_columns(table.def))
        throw unreadable(tableName);

    // Position of each asked column among the table's columns.
    std::vector<unsigned> wanted;
    for (const QString &columnName : columns) {
        unsigned found = table.def->num_cols;
        for (unsigned i = 0; i < table.def->num_cols; ++i) {
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table.def->columns, i));
            if (QString::fromUtf8(column->name).compare(columnName, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        if (found == table.def->num_cols) {
            throw databaseFailure(QStringLiteral("Colonne introuvable dans la table %1 : %2").arg(tableName, columnName));
        }
        wanted.push_back(found);
    }

    std::vector<MdbField> fields(table.def->num_cols);
    std::vector<TextView> values(wanted.size());
    std::vector<std::u16string> buffers(wanted.size());
    const int rowCountOffset = m_mdb->fmt->row_count_offset;
    unsigned liveRows = 0;
    // Cracks one row of the page in the library's page buffer and hands its values on.
    const auto visitRow = [&](int row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(m_mdb, row, &start, &size) != 0 || size < 2)
            throw unreadable(tableName);
        // A row written before columns were added holds fewer; the library gives the
        // missing ones as nulls.
        if (mdb_crack_row(table.def, start & kOffsetMask, size, fields.data()) < 0)
            throw unreadable(tableName);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table.def->columns, wanted[i]));
            values[i] = fieldText(*column, fields[wanted[i]], buffers[i]);
        }
        ++liveRows;
        visit(values);
    };
    // A row that outgrew its page lives on another one; its slot here holds a pointer (row
    // number, then page number) to it, and it is read in this row's place.
    const auto visitMovedRow = [&](int row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(m_mdb, row, &start, &size) != 0 || size < 4)
            throw unreadable(tableName);
        const long pointer = mdb_get_int32(m_mdb->pg_buf, start & kOffsetMask);
        const auto page = static_cast<unsigned long>(pointer) >> 8;
        const int movedRow = static_cast<int>(pointer & 0xff);
        if (mdb_read_pg(m_mdb, page) != m_mdb->fmt->pg_size || m_mdb->pg_buf[0] != MDB_PAGE_DATA
            || static_cast<unsigned long>(mdb_get_int32(m_mdb->pg_buf, 4)) != entry->table_pg
            || movedRow >= mdb_get_int16(m_mdb->pg_buf, rowCountOffset))
            throw unreadable(tableName);
        visitRow(movedRow);
        if (mdb_read_pg(m_mdb, table.def->cur_phys_pg) != m_mdb->fmt->pg_size)
            throw unreadable(tableName);
    };

    // Page by page, as the library's own fetch goes, but cracking each row once and reading
    // its null mask and slot flags, which the fetch hides.
    mdb_rewind_table(table.def);
    while (mdb_read_next_dpg(table.def)) {
        const int rowCount = mdb_get_int16(m_mdb->pg_buf, rowCountOffset);
        for (int row = 0; row < rowCount; ++row) {
            const int slot = mdb_get_int16(m_mdb->pg_buf, rowCountOffset + 2 + row * 2);
            if (slot & kDeletedRow)
                continue; // deleted, or the moved copy of a row reached through its pointer
            if (slot & kOverflowRow)
                visitMovedRow(row);
            else
                visitRow(row);
        }
    }
    // The scan stops quietly at a page it cannot read; the table's own row count tells.
    if (liveRows != table.def->num_rows)
        throw unreadable(tableName);
}

} // namespace

std::shared_ptr<Database> openMdbDatabase(const QString &path)
{
    checkAccessFile(path);
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        throw databaseFailure(QStringLiteral("Impossible d'ouvrir la base de données (fichier illisible ou endommagé) : ")
                              + path);
    auto database = std::make_shared<MdbDatabase>(mdb, path);
    constexpr unsigned long kCatalogPage = 2;
    if (!pageMapsReadable(mdb, kCatalogPage) || !mdb_read_catalog(mdb, MDB_TABLE))
        throw databaseFailure(QStringLiteral("Le catalogue de la base de données est illisible : ") + path);
    return database;
}
