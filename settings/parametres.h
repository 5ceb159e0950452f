#pragma once

#include <QString>

// The settings file "Parametres.ini" beside the executable: section "Societe", keys "Societe",
// "Depot", "Gestion" and "GestionPath". Nothing else opens the file.

// The settings file's name; its path is Executable::beside(FichierParametres()).
inline QString FichierParametres()
{
    return QStringLiteral("Parametres.ini");
}

// One value; the empty string when the file, the section or the key is missing. A value longer
// than 254 characters comes back as its first 254.
QString LireParametre(const QString &fichier, const QString &section, const QString &cle);

// Writes one value, creating the file, the section or the key as needed. Non-zero on success;
// 0 when the file could not be written, and then the file is left as it was. Characters that
// Windows-1252 cannot hold are written as "?".
qint16 EcrireParametre(const QString &section, const QString &cle, const QString &valeur, const QString &fichier);

// The four values as the window loads them, read in this order from section "Societe".
struct ParametresLus
{
    QString Societe;
    QString Depot;
    QString Gestion; // as written in the file: ChoisirEdition decides the edition from it
    QString GestionPath;
};

ParametresLus LireParametres(const QString &ficParam);

enum class EditionCochee { Aucune, Kelmar, Dovane };

struct ChoixEdition
{
    qint16 Gestion;       // 1 Kelmar edition, 2 Dovane edition
    EditionCochee cochee; // the edition menu item to tick (mnukelmar, mnudovane), if any

    bool operator==(const ChoixEdition &) const = default;
};

// The edition from the text of key "Gestion", compared exactly: empty gives 1 with nothing
// ticked, "1" gives 1 with Kelmar ticked, anything else 2 with Dovane ticked.
ChoixEdition ChoisirEdition(const QString &g);

// What the `CmdDefaut` button saves.
struct Defauts
{
    QString Societe;     // text of Txtsociete
    QString Depot;       // text of Txtdepot
    qint16 Gestion = 1;  // the window's field, not the menu ticks
    QString GestionPath; // caption of lblGestion
};

// The four writes, in this order: Societe, Depot, Gestion (as decimal text), GestionPath.
// A failed write is not reported: the window confirms in any case.
void EnregistrerDefauts(const QString &ficParam, const Defauts &defauts);
