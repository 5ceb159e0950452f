#include "platform/mdbreader/mdbreading.h"

#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>
#include <vector>

namespace mdbreading {
namespace {

using mdbanswer::Status;

constexpr int kOffsetMask = 0x1fff;
constexpr int kDeletedRow = 0x8000;
constexpr int kOverflowRow = 0x4000;
constexpr unsigned long kCatalogPage = 2;

// Ends a reading early with its outcome.
struct Stop
{
    Outcome outcome;
};

[[noreturn]] void stop(Status status, std::uint32_t column = 0)
{
    throw Stop{{status, column}};
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

// The library's text of a value of another type (numbers, dates, memos), in UTF-8.
void decodeLibraryText(char *utf8, std::u16string &text)
{
    text.clear();
    gchar *valid = g_utf8_make_valid(utf8, -1);
    glong length = 0;
    if (gunichar2 *units = g_utf8_to_utf16(valid, -1, nullptr, &length, nullptr)) {
        text.assign(reinterpret_cast<const char16_t *>(units), static_cast<std::size_t>(length));
        g_free(units);
    }
    g_free(valid);
    g_free(utf8);
}

bool sameName(const char *a, const char *b)
{
    gchar *foldedA = g_utf8_casefold(a, -1);
    gchar *foldedB = g_utf8_casefold(b, -1);
    const bool same = std::strcmp(foldedA, foldedB) == 0;
    g_free(foldedA);
    g_free(foldedB);
    return same;
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
        const int end =
            row == 0 ? pageSize : mdb_get_int16(mdb->alt_pg_buf, fmt.row_count_offset + row * 2) & kOffsetMask;
        if (start < slotTableEnd || start >= end || end > pageSize)
            return false;
    }
    return true;
}

struct Database
{
    explicit Database(MdbHandle *handle) : mdb(handle) {}
    ~Database() { mdb_close(mdb); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;
    MdbHandle *mdb;
};

struct TableDef
{
    explicit TableDef(MdbTableDef *table) : def(table) {}
    ~TableDef()
    {
        if (def)
            mdb_free_tabledef(def);
    }
    TableDef(const TableDef &) = delete;
    TableDef &operator=(const TableDef &) = delete;
    MdbTableDef *def;
};

// Walks the pages of a table whose definition was read, visiting each live row with the
// values of the columns at `wanted`. Page by page, as the library's own fetch goes, but
// cracking each row once and reading its null mask and slot flags, which the fetch hides.
// Stops with `unreadable` at the first page or row it cannot read.
void walkRows(MdbHandle *mdb, const TableDef &table, const std::vector<unsigned> &wanted, Status unreadable,
              const RowVisitor &visit)
{
    std::vector<MdbField> fields(table.def->num_cols);
    std::vector<Value> values(wanted.size());
    std::vector<std::u16string> buffers(wanted.size());
    const int rowCountOffset = mdb->fmt->row_count_offset;
    unsigned long liveRows = 0;

    const auto fieldText = [&](const MdbColumn &column, const MdbField &field, std::u16string &buffer) -> Value {
        if (field.is_null)
            return std::nullopt;
        buffer.clear();
        if (field.siz > 0) {
            if (field.start < 0 || field.start + field.siz > static_cast<int>(sizeof mdb->pg_buf))
                stop(unreadable);
            if (column.col_type == MDB_TEXT && !IS_JET3(mdb))
                decodeJet4Text(mdb->pg_buf + field.start, field.siz, buffer);
            else
                decodeLibraryText(mdb_col_to_string(mdb, mdb->pg_buf, field.start, column.col_type, field.siz), buffer);
        }
        return std::u16string_view(buffer);
    };
    // Cracks one row of the page in the library's page buffer and hands its values on.
    const auto visitRow = [&](int row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size < 2)
            stop(unreadable);
        // A row written before columns were added holds fewer; the library gives the
        // missing ones as nulls.
        if (mdb_crack_row(table.def, start & kOffsetMask, size, fields.data()) < 0)
            stop(unreadable);
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table.def->columns, wanted[i]));
            values[i] = fieldText(*column, fields[wanted[i]], buffers[i]);
        }
        // More rows than the table holds: its pages are damaged; stop before sending them all.
        if (++liveRows > table.def->num_rows)
            stop(unreadable);
        if (visit)
            visit(values);
    };
    // A row that outgrew its page lives on another one; its slot here holds a pointer (row
    // number, then page number) to it, and it is read in this row's place.
    const auto visitMovedRow = [&](int row) {
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size < 4)
            stop(unreadable);
        const long pointer = mdb_get_int32(mdb->pg_buf, start & kOffsetMask);
        const auto page = static_cast<unsigned long>(pointer) >> 8;
        const int movedRow = static_cast<int>(pointer & 0xff);
        if (mdb_read_pg(mdb, page) != mdb->fmt->pg_size || mdb->pg_buf[0] != MDB_PAGE_DATA
            || static_cast<unsigned long>(mdb_get_int32(mdb->pg_buf, 4)) != table.def->entry->table_pg
            || movedRow >= mdb_get_int16(mdb->pg_buf, rowCountOffset))
            stop(unreadable);
        visitRow(movedRow);
        if (mdb_read_pg(mdb, table.def->cur_phys_pg) != mdb->fmt->pg_size)
            stop(unreadable);
    };

    mdb_rewind_table(table.def);
    while (mdb_read_next_dpg(table.def)) {
        const int rowCount = mdb_get_int16(mdb->pg_buf, rowCountOffset);
        for (int row = 0; row < rowCount; ++row) {
            const int slot = mdb_get_int16(mdb->pg_buf, rowCountOffset + 2 + row * 2);
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
        stop(unreadable);
}

// Reads the definition and columns of the table at `entry`.
std::unique_ptr<TableDef> readTable(MdbHandle *mdb, MdbCatalogEntry &entry, Status unreadable)
{
    if (!pageMapsReadable(mdb, entry.table_pg))
        stop(unreadable);
    auto table = std::make_unique<TableDef>(mdb_read_table(&entry));
    if (!table->def || !mdb_read_columns(table->def))
        stop(unreadable);
    return table;
}

std::unique_ptr<Database> openDatabase(const char *path)
{
    MdbHandle *mdb = mdb_open(path, MDB_NOFLAGS);
    if (!mdb)
        stop(Status::OpenFailed);
    auto database = std::make_unique<Database>(mdb);
    if (!pageMapsReadable(mdb, kCatalogPage) || !mdb_read_catalog(mdb, MDB_TABLE))
        stop(Status::CatalogUnreadable);
    // The library's catalog read also stops quietly at a page it cannot read, which would
    // leave tables out: the catalog's own rows are walked and counted as a table's are.
    MdbCatalogEntry catalog{};
    catalog.mdb = mdb;
    catalog.object_type = MDB_TABLE;
    catalog.table_pg = kCatalogPage;
    std::strcpy(catalog.object_name, "MSysObjects");
    const auto definition = readTable(mdb, catalog, Status::CatalogIncomplete);
    walkRows(mdb, *definition, {}, Status::CatalogIncomplete, nullptr);
    return database;
}

void scanTable(MdbHandle *mdb, const char *tableName, std::span<const std::string> columns, const RowVisitor &visit)
{
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, tableName);
    if (!entry || entry->object_type != MDB_TABLE)
        stop(Status::TableNotFound);
    const auto table = readTable(mdb, *entry, Status::TableUnreadable);

    // Position of each asked column among the table's columns.
    std::vector<unsigned> wanted;
    for (const std::string &name : columns) {
        unsigned found = table->def->num_cols;
        for (unsigned i = 0; i < table->def->num_cols; ++i) {
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->def->columns, i));
            if (sameName(column->name, name.c_str())) {
                found = i;
                break;
            }
        }
        if (found == table->def->num_cols)
            stop(Status::ColumnNotFound, static_cast<std::uint32_t>(wanted.size()));
        wanted.push_back(found);
    }
    walkRows(mdb, *table, wanted, Status::TableUnreadable, visit);
}

} // namespace

Outcome open(const char *path)
{
    try {
        openDatabase(path);
    } catch (const Stop &stopped) {
        return stopped.outcome;
    }
    return {};
}

Outcome scan(const char *path, const char *table, std::span<const std::string> columns, const RowVisitor &visit)
{
    try {
        const auto database = openDatabase(path);
        scanTable(database->mdb, table, columns, visit);
    } catch (const Stop &stopped) {
        return stopped.outcome;
    }
    return {};
}

} // namespace mdbreading
