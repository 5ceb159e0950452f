#include "platform/executable.h"

#include <QCoreApplication>
#include <QFileInfo>

Executable Executable::current()
{
    return {QCoreApplication::applicationDirPath(),
            QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()};
}

QString Executable::beside(const QString &fileName) const
{
    // Plain concatenation, as the paths have always been built: at the root this doubles the
    // separator, which the file system accepts.
    return directory + QLatin1Char('/') + fileName;
}
