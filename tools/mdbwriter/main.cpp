// mdbwriter: writes a Jet4 .mdb file from rows given as text, for the demo and for scripts.

#include "platform/failure.h"
#include "tools/mdbwriter/mdbwriter.h"
#include "tools/mdbwriter/rowtext.h"
#include "tools/programerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

namespace {

const char *const usage = R"(Usage : mdbwriter FICHIER.mdb --table NOM --columns COLONNES [--input LIGNES] [--table ...]

Écrit une base Access 2000-2003 (Jet4) dont les tables n'ont que des colonnes texte.
Le fichier est écrit d'un bloc (fichier temporaire puis renommage) : en cas d'erreur,
FICHIER.mdb reste tel qu'il était.

Options, à répéter pour chaque table :
  --table NOM          commence une table
  --columns COLONNES   ses colonnes, séparées par des virgules, chacune avec une longueur
                       facultative en caractères (1 à 255, 255 par défaut) :
                       Code:50,CodeBarre:13,Libelle
  --input LIGNES       le fichier de ses lignes ; sans --input, les lignes sont lues sur
                       l'entrée standard (une seule table peut le faire)
  -h, --help           affiche cette aide

Lignes : texte UTF-8, une ligne par rangée (fin de ligne LF ou CR LF), champs séparés
par « ; », autant de champs que de colonnes. Dans un champ :
  \N    seul dans le champ : NULL (un champ vide est le texte vide)
  \;    un point-virgule      \\    une barre oblique inverse
  \t    une tabulation        \r    un retour chariot      \n    un saut de ligne
Une ligne qui commence par \D est écrite comme rangée supprimée (drapeau 0x8000) ;
ses champs suivent la marque. Chaque ligne, même vide, est une rangée.

Exemple :
  printf 'A1;3760001000017\nB2;\\N\n\\DC3;3760001000031\n' |
    mdbwriter gestion.mdb --table Article --columns Code:20,CodeBarre:13

Codes de sortie : 0 écrit, 1 erreur de données ou de fichier, 2 erreur d'usage.
)";

struct TableInput
{
    QString name;
    QString columns;
    QString input; // empty: standard input
};

[[noreturn]] void usageError(const QString &text)
{
    fail(text + QStringLiteral("\nVoir « mdbwriter --help »."), 2);
}

QByteArray readInput(const QString &path)
{
    QFile file;
    if (path.isEmpty()) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            throw Failure::fileAccess(QStringLiteral("entrée standard"), file.errorString());
    } else {
        file.setFileName(path);
        if (!file.exists())
            throw Failure::fileNotFound(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Failure::fileAccess(path, file.errorString());
    }
    return file.readAll();
}

void run(const QStringList &arguments)
{
    QString output;
    std::vector<TableInput> inputs;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString option = arguments[i];
        if (option == QStringLiteral("-h") || option == QStringLiteral("--help")) {
            QTextStream(stdout) << QString::fromUtf8(usage);
            return;
        }
        if (!option.startsWith(QStringLiteral("--"))) {
            if (!output.isEmpty())
                usageError(QStringLiteral("un seul fichier de sortie : « %1 » en trop.").arg(option));
            output = option;
            continue;
        }
        QString value;
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = option.mid(equals + 1);
            option.truncate(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            usageError(QStringLiteral("l'option %1 attend une valeur.").arg(option));
        }
        if (option == QStringLiteral("--table")) {
            inputs.push_back({value, {}, {}});
        } else if (option == QStringLiteral("--columns") || option == QStringLiteral("--input")) {
            if (inputs.empty())
                usageError(QStringLiteral("%1 doit suivre --table.").arg(option));
            (option == QStringLiteral("--columns") ? inputs.back().columns : inputs.back().input) = value;
        } else {
            usageError(QStringLiteral("option inconnue : %1.").arg(option));
        }
    }
    if (output.isEmpty())
        usageError(QStringLiteral("le fichier .mdb à écrire manque."));
    int fromStdin = 0;
    for (const TableInput &input : inputs) {
        if (input.columns.isEmpty())
            usageError(QStringLiteral("la table « %1 » n'a pas de --columns.").arg(input.name));
        if (input.input.isEmpty() && ++fromStdin > 1)
            usageError(QStringLiteral("une seule table peut lire l'entrée standard ; donnez --input aux autres."));
    }

    std::vector<mdbwriter::Table> tables;
    for (const TableInput &input : inputs) {
        mdbwriter::Table table{input.name, mdbwriter::parseColumns(input.columns), {}};
        const QString source = input.input.isEmpty() ? QStringLiteral("entrée standard") : input.input;
        table.rows = mdbwriter::parseRows(readInput(input.input), static_cast<int>(table.columns.size()), source);
        tables.push_back(std::move(table));
    }
    mdbwriter::writeMdb(output, tables);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    try {
        run(QCoreApplication::arguments());
    } catch (const Failure &failure) {
        fail(failure.description());
    }
    return 0;
}
