#include "import/articlelookup.h"

#include "platform/failure.h"

ArticleLookup::ArticleLookup(Dialogs &dialogs, Executable executable)
    : m_dialogs(dialogs),
      m_executable(std::move(executable)),
      m_report(m_executable.beside(QStringLiteral("Err_Inventaire.txt")))
{
}

void ArticleLookup::setConnectScen(std::shared_ptr<Database> database)
{
    m_connectScen = std::move(database);
    m_index.reset();
    m_indexFailure.reset();
}

const ArticleIndex &ArticleLookup::index()
{
    if (!m_connectScen)
        throw Failure(Failure::NoDatabase, QStringLiteral("Aucune base de gestion n'est ouverte"));
    // A table that cannot be read fails every lookup of this database alike, without
    // reading it again each time.
    if (m_indexFailure)
        throw *m_indexFailure;
    if (!m_index) {
        try {
            m_index.emplace(*m_connectScen);
        } catch (const Failure &failure) {
            m_indexFailure = failure;
            throw;
        }
    }
    return *m_index;
}

QString ArticleLookup::RechercheRef(const QString &CB)
{
    try {
        const std::optional<ArticleIndex::Match> match = index().find(CB);
        if (!match) {
            m_bErr = true;
            m_report.append(CB);
            return {};
        }
        if (!match->code)
            throw Failure::invalidUseOfNull();
        return *match->code;
    } catch (const Failure &failure) {
        fail(failure);
    } catch (const std::bad_alloc &) {
        fail(Failure::outOfMemory());
    }
    return {};
}

void ArticleLookup::fail(const Failure &failure)
{
    m_dialogs.message(QStringLiteral("Erreur dans la fonction recherche: ") + failure.description(),
                      MessageIcon::Critical, m_executable.name);
}
