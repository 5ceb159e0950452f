#pragma once

#include <QString>

// What the import run says, word for word, as the operator reads it.
namespace importtexts {

inline const QString kOpening = QStringLiteral("Ouverture du serveur ...");
inline const QString kImporting = QStringLiteral("Importation des données ...");
inline const QString kClosing = QStringLiteral("Fermeture du serveur ...");
inline const QString kDone = QStringLiteral("Importation d'inventaire terminée ...");
inline const QString kFailure = QStringLiteral("Erreur dans votre fichier d'inventaire: ");

} // namespace importtexts
