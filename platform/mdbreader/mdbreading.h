#pragma once

// The reading of an Access (.mdb) file through libmdb, as the database reader program does
// it. libmdb trusts the offsets and lengths it reads from the file: this code runs in that
// separate program, never in the window's process.
#include "platform/mdbreader/answer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mdbreading {

// A value as read: nullopt for a null. Views the reader's own buffers, valid while the
// visitor runs.
using Value = std::optional<std::u16string_view>;
using RowVisitor = std::function<void(std::span<const Value> values)>;

struct Outcome
{
    mdbanswer::Status status = mdbanswer::Status::Ok;
    std::uint32_t column = 0; // for ColumnNotFound: which of the asked columns
};

// Opens the database at `path` and reads its catalog, which must be whole.
Outcome open(const char *path);

// Opens as above, then visits every live row of `table` in the engine's scan order with the
// values of `columns` in the order asked. Names are matched without regard to letter case.
Outcome scan(const char *path, const char *table, std::span<const std::string> columns, const RowVisitor &visit);

} // namespace mdbreading
