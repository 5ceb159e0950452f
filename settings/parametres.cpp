#include "settings/parametres.h"

#include "platform/ansi.h"
#include "settings/profile.h"

namespace {

// Values are read through a buffer of 255 characters, one of which holds the terminator.
constexpr qsizetype kLongueurTampon = 255;

QString section()
{
    return QStringLiteral("Societe");
}

} // namespace

QString LireParametre(const QString &fichier, const QString &section, const QString &cle)
{
    const QByteArray valeur = profile::readValue(fichier, ansi::encode(section), ansi::encode(cle));
    return ansi::decode(QByteArrayView(valeur).first(qMin(valeur.size(), kLongueurTampon - 1)));
}

qint16 EcrireParametre(const QString &section, const QString &cle, const QString &valeur, const QString &fichier)
{
    return profile::writeValue(fichier, ansi::encode(section), ansi::encode(cle), ansi::encode(valeur)) ? 1 : 0;
}

ParametresLus LireParametres(const QString &ficParam)
{
    ParametresLus lus;
    lus.Societe = LireParametre(ficParam, section(), QStringLiteral("Societe"));
    lus.Depot = LireParametre(ficParam, section(), QStringLiteral("Depot"));
    lus.Gestion = LireParametre(ficParam, section(), QStringLiteral("Gestion"));
    lus.GestionPath = LireParametre(ficParam, section(), QStringLiteral("GestionPath"));
    return lus;
}

ChoixEdition ChoisirEdition(const QString &g)
{
    if (g.isEmpty())
        return {1, EditionCochee::Aucune};
    if (g == QLatin1String("1"))
        return {1, EditionCochee::Kelmar};
    return {2, EditionCochee::Dovane};
}

void EnregistrerDefauts(const QString &ficParam, const Defauts &defauts)
{
    EcrireParametre(section(), QStringLiteral("Societe"), defauts.Societe, ficParam);
    EcrireParametre(section(), QStringLiteral("Depot"), defauts.Depot, ficParam);
    EcrireParametre(section(), QStringLiteral("Gestion"), QString::number(defauts.Gestion), ficParam);
    EcrireParametre(section(), QStringLiteral("GestionPath"), defauts.GestionPath, ficParam);
}
