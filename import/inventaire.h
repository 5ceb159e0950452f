#pragma once

#include "import/articlelookup.h"
#include "import/importview.h"
#include "platform/automation.h"
#include "platform/database.h"
#include "platform/dialogs.h"
#include "platform/executable.h"

#include <functional>
#include <memory>

// One import of a count file into the management application, and the state that the window
// keeps from one import to the next: the server object `OLETIR` (kept by a run that ends
// early and reused by the next), the management database and the lookup with its `bErr`.
class Inventaire
{
public:
    using DatabaseOpener = std::function<std::shared_ptr<Database>(const QString &path)>;

    Inventaire(AutomationFactory &automation, DatabaseOpener openDatabase, Dialogs &dialogs, ImportView &view,
               Executable executable);

    // Runs one import to its end on the calling thread. Reports its outcome and its failures
    // itself ("Erreur dans votre fichier d'inventaire: ..."); never throws.
    void run(const QString &Societe, const QString &Depot, qint16 Gestion);

    static QString progId(qint16 Gestion);

private:
    enum class End { Complete, EmptyLine };
    End runSteps(const QString &Societe, const QString &Depot, qint16 Gestion);
    End sendLines(QString &depot, qint16 itemCount);
    void advanceProgress(qint16 itemCount);

    AutomationFactory &m_automation;
    DatabaseOpener m_openDatabase;
    Dialogs &m_dialogs;
    ImportView &m_view;
    Executable m_executable;
    std::shared_ptr<AutomationObject> m_OLETIR;
    ArticleLookup m_lookup;
};
