// The report's Windows-1252 text: any text encodes to one byte a character (a surrogate pair is
// one), each the character itself or "?"; and the report file holds its heading and every
// appended line, byte for byte. That any bytes decode and encode back is seen by countlines.
#include "import/missingarticlereport.h"
#include "tests/fuzz/fuzzsupport.h"

void fuzzOne(const QByteArray &bytes)
{
    const QString text(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    qsizetype at = 0;
    for (const QChar c : ansi::decode(ansi::encode(text))) {
        FUZZ_CHECK(at < text.size());
        const bool pair = text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate();
        FUZZ_CHECK(c == text[at]
                   || (c == QLatin1Char('?') && (pair || ansi::encode(QStringView(text).sliced(at, 1)) == "?")));
        at += pair ? 2 : 1;
    }
    FUZZ_CHECK(at == text.size());

    const MissingArticleReport report(fuzz::scratchPath(QStringLiteral("Err_Inventaire.txt")));
    QFile::remove(report.path());
    const QString first = ansi::decode(bytes.left(bytes.size() / 2));
    report.append(first);
    report.append(text);
    const auto line = [](const QString &code) {
        return ansi::encode(QStringLiteral("L'article : ") + code
                            + QStringLiteral(" n'existe pas dans la gestion en cours"))
               + "\r\n";
    };
    FUZZ_CHECK(readFile(report.path())
               == "Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la gestion\r\n\r\n"
                      + line(first) + line(text));
}
