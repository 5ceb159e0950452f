#include "tools/mdbwriter/rowtext.h"

#include "platform/failure.h"

#include <QStringDecoder>
#include <QStringList>

namespace mdbwriter {
namespace {

Failure invalid(const QString &description)
{
    return {Failure::DatabaseError, description};
}

Failure lineError(const QString &source, qsizetype line, const QString &what)
{
    return invalid(QStringLiteral("%1, ligne %2 : %3").arg(source).arg(line).arg(what));
}

} // namespace

std::vector<Column> parseColumns(const QString &definition)
{
    std::vector<Column> columns;
    for (const QString &item : definition.split(QLatin1Char(','))) {
        Column column;
        const qsizetype colon = item.indexOf(QLatin1Char(':'));
        column.name = item.left(colon);
        if (colon >= 0) {
            bool ok = false;
            column.maxLength = item.mid(colon + 1).toInt(&ok);
            if (!ok)
                throw invalid(QStringLiteral("Longueur de colonne non valide : « %1 ».").arg(item));
        }
        columns.push_back(column);
    }
    return columns;
}

std::vector<Row> parseRows(const QByteArray &utf8, int columnCount, const QString &source)
{
    std::vector<Row> rows;
    QByteArrayView rest(utf8);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    qsizetype lineNumber = 0;
    while (!rest.isEmpty()) {
        ++lineNumber;
        qsizetype end = rest.indexOf('\n');
        QByteArrayView bytes = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        const QString line = decoder.decode(bytes);
        if (decoder.hasError())
            throw lineError(source, lineNumber, QStringLiteral("texte UTF-8 non valide."));

        Row row;
        qsizetype i = 0;
        if (line.startsWith(QStringLiteral("\\D"))) {
            row.deleted = true;
            i = 2;
        }
        QString field;
        bool escapedNull = false;
        bool plain = false; // anything other than \N in the field
        const auto closeField = [&] {
            if (escapedNull && plain)
                throw lineError(source, lineNumber,
                                QStringLiteral("\\N (NULL) doit occuper tout le champ %1.").arg(row.values.size() + 1));
            if (escapedNull)
                row.values.emplace_back(std::nullopt);
            else
                row.values.emplace_back(field);
            field.clear();
            escapedNull = plain = false;
        };
        for (; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c == QLatin1Char(';')) {
                closeField();
                continue;
            }
            if (c != QLatin1Char('\\')) {
                field += c;
                plain = true;
                continue;
            }
            if (++i == line.size())
                throw lineError(source, lineNumber, QStringLiteral("\\ en fin de ligne."));
            switch (line[i].unicode()) {
            case 'N':
                if (escapedNull)
                    plain = true;
                escapedNull = true;
                continue;
            case ';':
                field += QLatin1Char(';');
                break;
            case '\\':
                field += QLatin1Char('\\');
                break;
            case 't':
                field += QLatin1Char('\t');
                break;
            case 'r':
                field += QLatin1Char('\r');
                break;
            case 'n':
                field += QLatin1Char('\n');
                break;
            default:
                throw lineError(source, lineNumber, QStringLiteral("séquence inconnue \\%1.").arg(line[i]));
            }
            plain = true;
        }
        closeField();
        if (static_cast<int>(row.values.size()) != columnCount)
            throw lineError(source, lineNumber,
                            QStringLiteral("%1 champs pour %2 colonnes.").arg(row.values.size()).arg(columnCount));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace mdbwriter
