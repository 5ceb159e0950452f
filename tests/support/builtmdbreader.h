#pragma once

#include "platform/mdbdatabase.h"

#include <QStringList>

// Databases opened through the reader program of this build: test programs do not run beside
// it as the installed program does.
inline std::shared_ptr<Database> openBuiltMdbDatabase(const QString &path)
{
    return openMdbDatabaseWith(QStringLiteral(TIRVANO_MDB_READER), path);
}

// The live rows of `table` as the program reads them, each as its values joined by "|", a null
// written "<null>".
inline QStringList scannedRows(const QString &file, const QString &table = QStringLiteral("Article"),
                               const QStringList &columns = {QStringLiteral("Code"), QStringLiteral("CodeBarre")})
{
    QStringList rows;
    openBuiltMdbDatabase(file)->scanTable(table, columns, [&](std::span<const TextView> values) {
        QStringList row;
        for (const TextView &value : values)
            row << (value ? value->toString() : QStringLiteral("<null>"));
        rows << row.join(QLatin1Char('|'));
    });
    return rows;
}
