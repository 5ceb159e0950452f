#pragma once

#include <QString>

// What the import run says, word for word, as the operator reads it.
namespace importtexts {

inline const QString kOpening = QStringLiteral("Ouverture du serveur ...");
inline const QString kImporting = QStringLiteral("Importation des données ...");
inline const QString kClosing = QStringLiteral("Fermeture du serveur ...");
inline const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");
inline const QString kFailure = QStringLiteral("Erreur dans votre fichier d'inventaire: ");

// What "Valider" refuses, in the order it checks.
inline const QString kNoCodes = QStringLiteral("Vous devez saisir un code dépôt et un code société");
inline const QString kNoCountFile = QStringLiteral("Vous devez selectionner un fichier d'inventaire");
inline const QString kNoDatabase = QStringLiteral("Vous devez selectionner le fichier Corvel.mdb de votre gestion");

} // namespace importtexts
