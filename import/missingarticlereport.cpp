#include "import/missingarticlereport.h"

#include "platform/ansi.h"
#include "platform/failure.h"

#include <QFile>

namespace {

const QString kHeading =
    QStringLiteral("Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la gestion");

QByteArray line(const QString &text)
{
    return ansi::encode(text) + "\r\n";
}

} // namespace

void MissingArticleReport::append(const QString &code) const
{
    QFile file(m_path);
    QByteArray bytes;
    bool opened = false;
    if (file.exists()) {
        opened = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly);
    } else {
        opened = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        bytes = line(kHeading) + "\r\n";
    }
    if (!opened)
        throw Failure::fileAccess(m_path, file.errorString());
    bytes += line(QStringLiteral("L'article : ") + code + QStringLiteral(" n'existe pas dans la gestion en cours"));
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw Failure::fileAccess(m_path, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw Failure::fileAccess(m_path, file.errorString());
}
