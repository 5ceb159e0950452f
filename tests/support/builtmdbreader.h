#pragma once

#include "platform/mdbdatabase.h"

// Databases opened through the reader program of this build: test programs do not run beside
// it as the installed program does.
inline std::shared_ptr<Database> openBuiltMdbDatabase(const QString &path)
{
    return openMdbDatabaseWith(QStringLiteral(TIRVANO_MDB_READER), path);
}
