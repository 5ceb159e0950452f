#pragma once

#include <QByteArray>
#include <QString>

// What the import run says, word for word, as the operator reads it.
namespace importtexts {

inline const QString kOpening = QStringLiteral("Ouverture du serveur ...");
inline const QString kImporting = QStringLiteral("Importation des données ...");
inline const QString kClosing = QStringLiteral("Fermeture du serveur ...");
inline const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");
inline const QString kFailure = QStringLiteral("Erreur dans votre fichier d'inventaire: ");
inline const QString kTitle = QStringLiteral("InventaireTirvano");
inline const QString kMissing = QStringLiteral("Certains articles n'ont pu être remontés. Vous trouverez une liste de "
                                               "ces articles dans le fichier\r\n\r\n");
inline const QString kLookupFailure = QStringLiteral("Erreur dans la fonction recherche: ");

// The missing-article report, in Windows-1252.
inline const QByteArray kReportHeading =
    "Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la gestion\r\n\r\n";
inline QByteArray reportLine(const QByteArray &code)
{
    return "L'article : " + code + " n'existe pas dans la gestion en cours\r\n";
}

// What "Valider" refuses, in the order it checks.
inline const QString kNoCodes = QStringLiteral("Vous devez saisir un code dépôt et un code société");
inline const QString kNoCountFile = QStringLiteral("Vous devez selectionner un fichier d'inventaire");
inline const QString kNoDatabase = QStringLiteral("Vous devez selectionner le fichier Corvel.mdb de votre gestion");

} // namespace importtexts
