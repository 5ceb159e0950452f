#pragma once

// What the database reader (lecteur-mdb) writes on its standard output, read back by the
// program: a stream of 16-bit units in the machine's byte order, so that texts arrive as
// UTF-16 ready to be viewed in place.
//
//   row:  kRow, then for each asked column a 32-bit header in two units (low, high) and
//         the value's units. The header is the length in units, or kNullValue for a null:
//         a null and an empty text stay apart.
//   end:  kEnd, the status, then a 32-bit detail in two units (low, high): for
//         ColumnNotFound, the position of the missing column among those asked.
//
// Nothing follows the end, and the reader then exits with code 0.
#include <cstdint>

namespace mdbanswer {

constexpr char16_t kRow = u'L';
constexpr char16_t kEnd = u'F';
constexpr std::uint32_t kNullValue = 0x8000'0000u;

enum class Status : char16_t {
    Ok,
    OpenFailed,        // the library refused the file
    CatalogUnreadable, // the catalog's pages cannot be read
    CatalogIncomplete, // the catalog lacks rows: truncated or damaged
    TableNotFound,
    ColumnNotFound,
    TableUnreadable, // the table's pages cannot be read
};

// Exit codes of the reader other than 0.
constexpr int kExitUsage = 2;
constexpr int kExitOutOfMemory = 3;
constexpr int kExitOutputFailed = 4;

} // namespace mdbanswer
