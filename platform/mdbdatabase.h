#pragma once

#include "platform/database.h"

// Opens an Access (.mdb) database. libmdb reads it in a program of its own, the reader
// lecteur-mdb, run under limits for the opening and again for every table read, so that no
// file can crash, freeze or exhaust the calling program. A missing path, a file that is not
// an Access database, an empty, truncated or corrupt file, a reader that fails or goes past
// its limits each fail with a French description.
std::shared_ptr<Database> openMdbDatabase(const QString &path);

// The same with the reader program `reader`; openMdbDatabase takes the one installed beside
// the running program.
std::shared_ptr<Database> openMdbDatabaseWith(const QString &reader, const QString &path);
