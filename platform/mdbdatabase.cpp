#include "platform/mdbdatabase.h"

#include "platform/executable.h"
#include "platform/failure.h"
#include "platform/mdbreaderrun.h"

#include <QFile>
#include <QFileInfo>

namespace {

using mdbanswer::Status;

// The reader reads the file that the program opened, handed down as its standard input: the
// file checked here is the one read, even if its path names another one by then.
const QString kReaderFile = QStringLiteral("/proc/self/fd/0");

Failure databaseFailure(const QString &text)
{
    return {Failure::DatabaseError, text};
}

// Refuses what is plainly not an Access database before the library parses it.
std::unique_ptr<QFile> openAccessFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        throw Failure::fileNotFound(path);
    if (!info.isFile())
        throw databaseFailure(QStringLiteral("Ce chemin ne désigne pas une base de données Access : ") + path);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throw Failure::fileAccess(path, file->errorString());
    const QByteArray head = file->read(0x15);
    const bool jet = head.size() == 0x15 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4))
                     && (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
    if (!jet) {
        throw databaseFailure(info.size() == 0
                                  ? QStringLiteral("La base de données est un fichier vide : ") + path
                                  : QStringLiteral("Ce fichier n'est pas une base de données Access : ") + path);
    }
    return file;
}

class MdbDatabase final : public Database
{
public:
    MdbDatabase(QString reader, QString path, std::unique_ptr<QFile> file)
        : m_reader(std::move(reader)), m_path(std::move(path)), m_file(std::move(file))
    {
    }

    // Has the reader open the file and check its catalog.
    void open() { read({kReaderFile}, {}, {}, nullptr); }

    void scanTable(const QString &tableName, const QStringList &columns, const RowVisitor &visit) override
    {
        read(QStringList{kReaderFile, tableName} + columns, tableName, columns, visit);
    }

private:
    void read(const QStringList &arguments, const QString &tableName, const QStringList &columns,
              const RowVisitor &visit);
    Failure failure(const MdbReaderEnding &ending, const QString &tableName, const QStringList &columns) const;
    Failure unreadable(const QString &why) const
    {
        return databaseFailure(QStringLiteral("Impossible de lire la base de données (%1) : ").arg(why) + m_path);
    }

    QString m_reader;
    QString m_path;
    std::unique_ptr<QFile> m_file;
};

void MdbDatabase::read(const QStringList &arguments, const QString &tableName, const QStringList &columns,
                       const RowVisitor &visit)
{
    const MdbReaderEnding ending =
        runMdbReader(m_reader, m_file->handle(), m_file->size(), arguments, static_cast<int>(columns.size()), visit);
    if (ending.kind != MdbReaderEnding::Answered || ending.status != Status::Ok)
        throw failure(ending, tableName, columns);
}

Failure MdbDatabase::failure(const MdbReaderEnding &ending, const QString &tableName, const QStringList &columns) const
{
    switch (ending.kind) {
    case MdbReaderEnding::NotStarted:
        return databaseFailure(QStringLiteral("Le lecteur de bases de données est introuvable ou ne démarre pas : ")
                               + m_reader);
    case MdbReaderEnding::TimeLimit:
        return unreadable(QStringLiteral("lecture trop longue, fichier endommagé"));
    case MdbReaderEnding::MemoryLimit:
        return unreadable(QStringLiteral("mémoire insuffisante, fichier endommagé"));
    case MdbReaderEnding::Crashed:
        return unreadable(QStringLiteral("arrêt du lecteur, fichier endommagé"));
    case MdbReaderEnding::BadAnswer:
        break;
    case MdbReaderEnding::Answered:
        switch (ending.status) {
        case Status::OpenFailed:
            return databaseFailure(
                QStringLiteral("Impossible d'ouvrir la base de données (fichier illisible ou endommagé) : ") + m_path);
        case Status::CatalogUnreadable:
            return databaseFailure(QStringLiteral("Le catalogue de la base de données est illisible : ") + m_path);
        case Status::CatalogIncomplete:
            return databaseFailure(
                QStringLiteral(
                    "Les pages du catalogue sont illisibles : la base de données %1 est tronquée ou endommagée")
                    .arg(m_path));
        case Status::TableNotFound:
            return databaseFailure(QStringLiteral("Table introuvable dans la base de données : ") + tableName);
        case Status::ColumnNotFound:
            if (ending.column < static_cast<std::uint32_t>(columns.size())) {
                return databaseFailure(QStringLiteral("Colonne introuvable dans la table %1 : %2")
                                           .arg(tableName, columns[static_cast<qsizetype>(ending.column)]));
            }
            break;
        case Status::TableUnreadable:
            return databaseFailure(
                QStringLiteral("Les pages de la table %1 sont illisibles : la base de données %2 est "
                               "tronquée ou endommagée")
                    .arg(tableName, m_path));
        case Status::Ok:
            break;
        }
        break;
    }
    return unreadable(QStringLiteral("réponse du lecteur illisible"));
}

} // namespace

std::shared_ptr<Database> openMdbDatabaseWith(const QString &reader, const QString &path)
{
    auto database = std::make_shared<MdbDatabase>(reader, path, openAccessFile(path));
    database->open();
    return database;
}

std::shared_ptr<Database> openMdbDatabase(const QString &path)
{
    return openMdbDatabaseWith(Executable::current().beside(QStringLiteral(TIRVANO_MDB_READER_NAME)), path);
}
