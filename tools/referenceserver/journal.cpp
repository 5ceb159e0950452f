#include "journal.h"
#include "tools/programerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

Journal::Journal(const QString &directory, const QString &progId)
    : m_path(directory.isEmpty() ? QString() : QDir(directory).filePath(fileName())), m_progId(progId)
{
}

void Journal::write(QJsonObject entry) const
{
    if (m_path.isEmpty())
        return;
    entry.insert(QStringLiteral("progId"), m_progId);
    entry.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) || file.write(line) != line.size())
        complain(QStringLiteral("journal %1 : %2").arg(m_path, file.errorString()));
}
