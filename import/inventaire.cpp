#include "import/inventaire.h"

#include "import/extrairechamp.h"
#include "import/myval.h"
#include "platform/countfile.h"
#include "platform/failure.h"
#include "platform/numbertext.h"
#include "platform/variantint16.h"

#include <cmath>
#include <limits>

namespace {

const QString kSeparator = QStringLiteral(";");
const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");

// The 32,768th item overflows the 16-bit item count.
qint16 countItems(const QString &path)
{
    DelimitedItemReader items(path);
    qint16 count = 0;
    while (!items.atEnd()) {
        items.readItem();
        if (count == std::numeric_limits<qint16>::max())
            throw Failure::overflow();
        ++count;
    }
    return count;
}

} // namespace

Inventaire::Inventaire(AutomationFactory &automation, DatabaseOpener openDatabase, Dialogs &dialogs, ImportView &view,
                       Executable executable)
    : m_automation(automation),
      m_openDatabase(std::move(openDatabase)),
      m_dialogs(dialogs),
      m_view(view),
      m_executable(std::move(executable)),
      m_lookup(dialogs, m_executable)
{
}

QString Inventaire::progId(qint16 Gestion)
{
    return Gestion == 1 ? QStringLiteral("GestionKelmar.ClsProjet") : QStringLiteral("GestionDovane.ClsProjet");
}

void Inventaire::run(const QString &Societe, const QString &Depot, qint16 Gestion)
{
    const auto fail = [this](const Failure &failure) {
        m_dialogs.message(QStringLiteral("Erreur dans votre fichier d'inventaire: ") + failure.description(),
                          MessageIcon::Critical, m_executable.name);
    };
    try {
        if (runSteps(Societe, Depot, Gestion) == End::EmptyLine)
            return;
    } catch (const Failure &failure) {
        fail(failure);
        return;
    } catch (const std::bad_alloc &) {
        fail(Failure::outOfMemory());
        return;
    }
    m_dialogs.message(kDone, MessageIcon::None, std::nullopt);
    if (m_lookup.bErr()) {
        m_dialogs.message(QStringLiteral("Certains articles n'ont pu être remontés. Vous trouverez une liste de ces "
                                         "articles dans le fichier\r\n\r\n")
                              + m_lookup.reportPath(),
                          MessageIcon::Critical, m_executable.name);
    }
    m_dialogs.beep();
}

Inventaire::End Inventaire::runSteps(const QString &Societe, const QString &Depot, qint16 Gestion)
{
    // Every run starts the bar from its minimum, so that a second run is not refused by it.
    m_view.setProgressValue(0.0f);

    if (!m_OLETIR) {
        m_view.setLblMessages(QStringLiteral("Ouverture du serveur ..."));
        m_OLETIR = m_automation.createObject(progId(Gestion));
    }
    m_lookup.setConnectScen(m_openDatabase(m_view.lblGestion()));

    const QString societe = Societe;
    QString depot = Depot;

    const qint16 itemCount = countItems(m_view.lblchemin());
    m_view.setLblMessages(QStringLiteral("Importation des données ..."));

    QStringList arguments{societe, QString(), QString()};
    variantToInt16(m_OLETIR->call(QStringLiteral("Init"), arguments));

    // The depot is one variable passed by reference: what the server makes of it is what
    // the later calls receive.
    arguments = {depot};
    const qint16 startAnswer = variantToInt16(m_OLETIR->call(QStringLiteral("InitInventaire"), arguments));
    depot = arguments[0];

    if (startAnswer == -1) {
        if (sendLines(depot, itemCount) == End::EmptyLine)
            return End::EmptyLine;
        arguments = {depot};
        variantToInt16(m_OLETIR->call(QStringLiteral("ValidationInventaire"), arguments));
    }

    m_view.setLblMessages(QStringLiteral("Fermeture du serveur ..."));
    m_OLETIR.reset();
    m_view.setLblMessages(kDone);
    return End::Complete;
}

// The sending pass; the count file is closed when it returns.
Inventaire::End Inventaire::sendLines(QString &depot, qint16 itemCount)
{
    LineReader stream(m_view.lblchemin());
    QStringList arguments;
    while (!stream.atEndOfStream()) {
        const QString line = stream.readLine();
        if (line.isEmpty())
            return End::EmptyLine;
        const QString code = ExtraireChamp(line, 1, kSeparator);
        const QString quantity = numberText(*MyVal(ExtraireChamp(line, 2, kSeparator)));
        arguments = {depot, m_lookup.RechercheRef(code), quantity};
        variantToInt16(m_OLETIR->call(QStringLiteral("InventaireArticle"), arguments));
        depot = arguments[0];
        advanceProgress(itemCount);
    }
    return End::Complete;
}

void Inventaire::advanceProgress(qint16 itemCount)
{
    if (itemCount == 0)
        throw Failure::divisionByZero();
    const double sum = static_cast<double>(m_view.progressValue()) + 100.0 / itemCount;
    if (std::fabs(sum) > static_cast<double>(std::numeric_limits<float>::max()))
        throw Failure::overflow();
    m_view.setProgressValue(static_cast<float>(sum));
}
