#pragma once

#include "import/articleindex.h"
#include "import/missingarticlereport.h"
#include "platform/database.h"
#include "platform/dialogs.h"
#include "platform/executable.h"
#include "platform/failure.h"

#include <memory>
#include <optional>

// Resolves the codes of a count file against the open management database, records the codes
// that match nothing in the report and remembers that some did (`bErr`).
class ArticleLookup
{
public:
    ArticleLookup(Dialogs &dialogs, Executable executable);

    // The database of the current run; replacing it drops the index, which the next lookup
    // builds anew from the new database.
    void setConnectScen(std::shared_ptr<Database> database);

    // The `Code` of the first article whose `CodeBarre` or `Code` equals CB; the empty text
    // when none does (the code is then reported) or when the lookup failed. A failure is shown
    // to the operator ("Erreur dans la fonction recherche: ...") and never passed on.
    QString RechercheRef(const QString &CB);

    // Raised by the first code that matched nothing, never lowered.
    bool bErr() const { return m_bErr; }
    // Where the codes that matched nothing are recorded.
    const QString &reportPath() const { return m_report.path(); }

private:
    const ArticleIndex &index();
    void fail(const Failure &failure);

    Dialogs &m_dialogs;
    Executable m_executable;
    MissingArticleReport m_report;
    std::shared_ptr<Database> m_connectScen;
    std::optional<ArticleIndex> m_index;
    std::optional<Failure> m_indexFailure;
    bool m_bErr = false;
};
