// The settings file with any content, section, key and value: reading gives at most 254
// characters; a write either leaves the file as it was or reads back as written, changing no
// other line than the key's and a new section's header.
#include "settings/parametres.h"
#include "tests/fuzz/fuzzsupport.h"

static qsizetype lineCount(QByteArray bytes)
{
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    return bytes.count('\n') + (bytes.isEmpty() || bytes.endsWith('\n') ? 0 : 1);
}

void fuzzOne(const QByteArray &bytes)
{
    FuzzedDataProvider input(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    // Texts in Windows-1252, as an operator's file holds them.
    const QString section = ansi::decode(input.ConsumeRandomLengthString(16));
    const QString key = ansi::decode(input.ConsumeRandomLengthString(16));
    const QString value = ansi::decode(input.ConsumeRandomLengthString(300));
    const QByteArray before = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    const QString path = fuzz::scratchFile(FichierParametres(), before);

    FUZZ_CHECK(LireParametre(path, section, key).size() <= 254);
    const bool written = EcrireParametre(section, key, value, path) != 0;
    const qsizetype added = lineCount(readFile(path)) - lineCount(before);
    FUZZ_CHECK(written ? LireParametre(path, section, key) == value.left(254) && added >= 0 && added <= 2
                       : readFile(path) == before);
}
