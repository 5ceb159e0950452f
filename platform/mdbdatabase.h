#pragma once

#include "platform/database.h"

// Opens an Access (.mdb) database with libmdb. A missing path, a file that is not an Access
// database, an empty, truncated or corrupt file each fail with a French description.
std::shared_ptr<Database> openMdbDatabase(const QString &path);
