// The .mdb writer, checked by reading its files back with mdbtools: its command-line tools run
// as processes, and libmdb itself where NULLs, stored bytes and slot flags must be seen.

#include "platform/failure.h"
#include "tools/mdbwriter/mdbwriter.h"
#include "tools/mdbwriter/rowtext.h"

#include <mdbtools.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <optional>
#include <vector>

using mdbwriter::Column;
using mdbwriter::Row;
using mdbwriter::Table;
using Tables = std::vector<Table>;
using Rows = std::vector<Row>;
using Values = std::vector<std::optional<QString>>;

Q_DECLARE_METATYPE(Tables)
Q_DECLARE_METATYPE(Rows)

namespace {

constexpr int pageSize = 4096;

Row row(std::initializer_list<std::optional<QString>> values, bool deleted = false)
{
    return Row{Values(values), deleted};
}

Table articles(Rows rows)
{
    return Table{QStringLiteral("Article"),
                 {{QStringLiteral("Code"), 50}, {QStringLiteral("Libelle"), 255}},
                 std::move(rows)};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Process
{
    int exitCode = -1;
    QString out;
    QString err;
};

Process run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A row as libmdb returns it: values (NULL told apart through the row's null mask), the bytes
// stored for each value, and where the row sits in the file.
struct ReadRow
{
    Values values;
    std::vector<QByteArray> stored;
    quint32 page = 0;
    int slot = 0;
};

struct ReadTable
{
    bool found = false;
    quint32 tdefPage = 0;
    std::vector<ReadRow> rows;
};

ReadTable readTable(const QString &path, const QString &name)
{
    ReadTable result;
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return result;
    mdb_read_catalog(mdb, MDB_TABLE);
    QByteArray utf8Name = name.toUtf8();
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, utf8Name.data());
    MdbTableDef *table = entry ? mdb_read_table(entry) : nullptr;
    if (table && mdb_read_columns(table)) {
        result.found = true;
        result.tdefPage = static_cast<quint32>(entry->table_pg);
        const int columns = static_cast<int>(table->num_cols);
        std::vector<QByteArray> bound(columns, QByteArray(MDB_BIND_SIZE, '\0'));
        for (int c = 0; c < columns; ++c)
            mdb_bind_column(table, c + 1, bound[c].data(), nullptr);
        mdb_rewind_table(table);
        std::vector<MdbField> fields(columns);
        while (mdb_fetch_row(table)) {
            ReadRow read;
            read.page = table->cur_phys_pg;
            read.slot = static_cast<int>(table->cur_row) - 1;
            int start = 0;
            size_t length = 0;
            mdb_find_row(mdb, read.slot, &start, &length);
            mdb_crack_row(table, start & 0x1FFF, length, fields.data());
            for (int c = 0; c < columns; ++c) {
                if (fields[c].is_null)
                    read.values.emplace_back(std::nullopt);
                else
                    read.values.emplace_back(QString::fromUtf8(bound[c].constData()));
                read.stored.emplace_back(reinterpret_cast<const char *>(mdb->pg_buf) + fields[c].start,
                                         fields[c].siz);
            }
            result.rows.push_back(std::move(read));
        }
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return result;
}

quint16 u16At(const QByteArray &file, qsizetype offset)
{
    return qFromLittleEndian<quint16>(file.constData() + offset);
}

quint32 u32At(const QByteArray &file, qsizetype offset)
{
    return qFromLittleEndian<quint32>(file.constData() + offset);
}

quint16 slotFlags(const QByteArray &file, quint32 page, int slot)
{
    return u16At(file, qsizetype(page) * pageSize + 14 + 2 * slot) & 0xE000;
}

// Slot counts of the data pages a table owns, read from the page headers.
std::vector<int> slotsPerPage(const QByteArray &file, quint32 tdefPage)
{
    std::vector<int> slots;
    for (qsizetype at = 0; at + pageSize <= file.size(); at += pageSize) {
        if (file[at] == 0x01 && u32At(file, at + 4) == tdefPage)
            slots.push_back(u16At(file, at + 12));
    }
    return slots;
}

// mdb-export's default CSV: text quoted with doubled quotes, NULL and '' both bare.
QString csv(const QStringList &header, const Rows &rows)
{
    QString text = header.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const Row &r : rows) {
        QStringList fields;
        for (const auto &value : r.values) {
            if (value && !value->isEmpty())
                fields << QLatin1Char('"') + QString(*value).replace(QLatin1Char('"'), QStringLiteral("\"\""))
                                + QLatin1Char('"');
            else
                fields << QString();
        }
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

Rows liveRows(const Rows &rows)
{
    Rows live;
    for (const Row &r : rows) {
        if (!r.deleted)
            live.push_back(r);
    }
    return live;
}

Rows numberedArticles(int count)
{
    Rows rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.push_back(row({QStringLiteral("A%1").arg(i, 8, 10, QLatin1Char('0')),
                            QString::number(3760000000000 + i)}));
    return rows;
}

} // namespace

class TestMdbWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void values_data();
    void values();
    void storedText_data();
    void storedText();
    void emptyTable();
    void severalTables();
    void manyTables();
    void pageBoundaries_data();
    void pageBoundaries();
    void referenceUsageMap();
    void definitionOverSeveralPages();
    void deletedRows();
    void reproducible();
    void invalidTables_data();
    void invalidTables();
    void unwritablePaths_data();
    void unwritablePaths();
    void parseRows_data();
    void parseRows();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestMdbWriter::values_data()
{
    QTest::addColumn<Rows>("rows");

    QTest::newRow("one row") << Rows{row({"A1", "Vis à bois"})};
    QTest::newRow("NULL and empty text") << Rows{row({std::nullopt, ""}), row({"", std::nullopt}),
                                                 row({std::nullopt, std::nullopt}), row({"", ""})};
    QTest::newRow("Latin-1 accents") << Rows{row({"Été", "Dépôt çà et là, ÿ ß Æ ñ"}), row({"é", "ü"})};
    QTest::newRow("outside Latin-1") << Rows{row({"Ωmega", "€"}), row({"中文", "prix 5 € le mètre"}),
                                             row({"Ā", "ǅ Ỳ ﬁ"}),
                                             row({QStringLiteral("x") + QChar(0xFEFF), "€" + QString(QChar(0xFEFF))})};
    QTest::newRow("spaces kept") << Rows{row({"  A1", "B2  "}), row({" ", "   "}), row({"\tX\t", "a  b"})};
    QTest::newRow("quotes apostrophes percent")
        << Rows{row({"O'Brien", "\"Guillemets\" et 100 %"}), row({"'", "%_*?"}), row({"\"", "''"})};
    QTest::newRow("separators and line ends") << Rows{row({"a;b,c", "ligne 1\nligne 2"}), row({"\r\n", "\\N"})};
    QTest::newRow("short values stay uncompressed") << Rows{row({"a", "ab"}), row({"ÿþ", "þÿ"})};
    QTest::newRow("full length") << Rows{row({QString(50, QLatin1Char('x')), QString(255, QChar(0x00E9))}),
                                         row({QString(50, QChar(0x03A9)), QString(255, QChar(0x20AC))})};
}

void TestMdbWriter::values()
{
    QFETCH(Rows, rows);
    const QString file = path(QStringLiteral("values.mdb"));
    mdbwriter::writeMdb(file, {articles(rows)});

    const ReadTable read = readTable(file, QStringLiteral("Article"));
    QVERIFY(read.found);
    QCOMPARE(read.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        QCOMPARE(read.rows[i].values, rows[i].values);

    const Process exported = run(QStringLiteral("mdb-export"), {file, QStringLiteral("Article")});
    QCOMPARE(exported.exitCode, 0);
    QCOMPARE(exported.out, csv({QStringLiteral("Code"), QStringLiteral("Libelle")}, rows));
    const Process count = run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")});
    QCOMPARE(count.out.trimmed().toULongLong(), rows.size());
}

void TestMdbWriter::storedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("ASCII is compressed") << "abc" << QByteArray("\xFF\xFE" "abc");
    QTest::newRow("Latin-1 is compressed") << "Été" << QByteArray("\xFF\xFE\xC9t\xE9");
    QTest::newRow("two characters stay UCS-2") << "ab" << QByteArray("a\0b\0", 4);
    QTest::newRow("euro forces UCS-2") << "é€x" << QByteArray("\xE9\0\xAC\x20x\0", 6);
    QTest::newRow("U+00FF U+00FE is not a mark") << "\u00FF\u00FE" << QByteArray("\xFF\0\xFE\0", 4);
    QTest::newRow("empty") << "" << QByteArray();
}

void TestMdbWriter::storedText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, stored);
    const QString file = path(QStringLiteral("stored.mdb"));
    mdbwriter::writeMdb(file, {articles({row({text, std::nullopt})})});
    const ReadTable read = readTable(file, QStringLiteral("Article"));
    QCOMPARE(read.rows.size(), 1u);
    QCOMPARE(read.rows[0].stored[0], stored);
    QCOMPARE(read.rows[0].values[0], std::optional<QString>(text));
}

void TestMdbWriter::emptyTable()
{
    const QString file = path(QStringLiteral("empty.mdb"));
    mdbwriter::writeMdb(file, {articles({})});

    QCOMPARE(run(QStringLiteral("mdb-ver"), {file}).out, QStringLiteral("JET4\n"));
    QCOMPARE(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}).out, QStringLiteral("Article\n"));
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")}).out, QStringLiteral("0\n"));
    const Process exported = run(QStringLiteral("mdb-export"), {file, QStringLiteral("Article")});
    QCOMPARE(exported.exitCode, 0);
    QCOMPARE(exported.out, QStringLiteral("Code,Libelle\n"));
    QVERIFY(readTable(file, QStringLiteral("Article")).found);
}

void TestMdbWriter::severalTables()
{
    Rows barcodes;
    for (int i = 0; i < 300; ++i)
        barcodes.push_back(row({QString::number(3760000000000 + i)}));
    const Tables tables = {
        articles({row({"A1", "Vis"}), row({"A2", std::nullopt})}),
        Table{QStringLiteral("Dépôt"), {{QStringLiteral("Code dépôt"), 3}}, {row({"D01"})}},
        Table{QStringLiteral("Famille d'articles"),
              {{QStringLiteral("Code"), 4}, {QStringLiteral("Nom"), 30}, {QStringLiteral("Remarque")}},
              {}},
        Table{QStringLiteral("Barres"), {{QStringLiteral("CodeBarre"), 13}}, barcodes},
    };
    const QString file = path(QStringLiteral("several.mdb"));
    mdbwriter::writeMdb(file, tables);

    QCOMPARE(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}).out,
             QStringLiteral("Article\nDépôt\nFamille d'articles\nBarres\n"));
    QCOMPARE(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), QStringLiteral("-S"), file}).out,
             QStringLiteral("MSysObjects\nArticle\nDépôt\nFamille d'articles\nBarres\n"));

    const QString schema = run(QStringLiteral("mdb-schema"), {file}).out;
    for (const Table &table : tables) {
        QVERIFY2(schema.contains(QStringLiteral("CREATE TABLE [%1]").arg(table.name)), qPrintable(schema));
        for (const Column &column : table.columns) {
            const QRegularExpression line(QStringLiteral("\\[%1\\]\\s+Text \\(%2\\)")
                                              .arg(QRegularExpression::escape(column.name))
                                              .arg(column.maxLength));
            QVERIFY2(schema.contains(line), qPrintable(column.name));
        }
        const Process count = run(QStringLiteral("mdb-count"), {file, table.name});
        QCOMPARE(count.out.trimmed().toULongLong(), table.rows.size());
        const ReadTable read = readTable(file, table.name);
        QCOMPARE(read.rows.size(), table.rows.size());
        for (std::size_t i = 0; i < table.rows.size(); ++i)
            QCOMPARE(read.rows[i].values, table.rows[i].values);
    }
}

void TestMdbWriter::manyTables()
{
    // 30 tables need 76 usage maps: more than one page of them.
    Tables tables;
    QString expected;
    for (int t = 0; t < 30; ++t) {
        const QString name = QStringLiteral("Table %1").arg(t);
        tables.push_back(Table{name, {{QStringLiteral("Nom")}}, {row({name}), row({std::nullopt})}});
        expected += name + QLatin1Char('\n');
    }
    const QString file = path(QStringLiteral("many.mdb"));
    mdbwriter::writeMdb(file, tables);

    QCOMPARE(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}).out, expected);
    for (const Table &table : tables) {
        const ReadTable read = readTable(file, table.name);
        QCOMPARE(read.rows.size(), 2u);
        QCOMPARE(read.rows[0].values, table.rows[0].values);
        QCOMPARE(read.rows[1].values, table.rows[1].values);
    }
}

void TestMdbWriter::pageBoundaries_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("length");
    QTest::addColumn<std::vector<int>>("slots");

    // Tiny rows: 255 per page, the most a one-byte row number allows.
    QTest::newRow("254 tiny rows") << 254 << 1 << std::vector<int>{254};
    QTest::newRow("255 tiny rows") << 255 << 1 << std::vector<int>{255};
    QTest::newRow("256 tiny rows") << 256 << 1 << std::vector<int>{255, 1};
    QTest::newRow("511 tiny rows") << 511 << 1 << std::vector<int>{255, 255, 1};
    // 255 compressed characters: 2 + 257 + 2 + 2 + 2 + 1 = 266 bytes a row, 15 rows to 4082 bytes.
    QTest::newRow("wide rows fill 4 KiB first") << 31 << 255 << std::vector<int>{15, 15, 1};
}

void TestMdbWriter::pageBoundaries()
{
    QFETCH(int, rowCount);
    QFETCH(int, length);
    QFETCH(std::vector<int>, slots);
    Rows rows;
    for (int i = 0; i < rowCount; ++i)
        rows.push_back(row({QString(length, QChar(u'a' + i % 26))}));
    const QString file = path(QStringLiteral("pages.mdb"));
    mdbwriter::writeMdb(file, {Table{QStringLiteral("T"), {{QStringLiteral("C"), 255}}, rows}});

    const ReadTable read = readTable(file, QStringLiteral("T"));
    QCOMPARE(read.rows.size(), rows.size());
    for (int i = 0; i < rowCount; ++i)
        QCOMPARE(read.rows[i].values, rows[i].values);
    QCOMPARE(slotsPerPage(readAll(file), read.tdefPage), slots);
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("T")}).out.trimmed().toInt(), rowCount);
}

void TestMdbWriter::referenceUsageMap()
{
    // 104 Article rows a page: 962 data pages, beyond one 512-page inline map.
    const Rows rows = numberedArticles(100000);
    const QString file = path(QStringLiteral("article100k.mdb"));
    mdbwriter::writeMdb(file,
                        {Table{QStringLiteral("Article"),
                               {{QStringLiteral("Code"), 20}, {QStringLiteral("CodeBarre"), 13}},
                               rows}});

    const QByteArray bytes = readAll(file);
    const ReadTable read = readTable(file, QStringLiteral("Article"));
    QVERIFY(read.found);
    QCOMPARE(slotsPerPage(bytes, read.tdefPage).size(), 962u);
    const quint32 ownedMap = u32At(bytes, qsizetype(read.tdefPage) * pageSize + 55);
    const quint32 mapPage = ownedMap >> 8;
    const quint16 mapOffset = u16At(bytes, qsizetype(mapPage) * pageSize + 14 + 2 * (ownedMap & 0xFF));
    QCOMPARE(int(bytes[qsizetype(mapPage) * pageSize + mapOffset]), 1); // reference map

    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")}).out, QStringLiteral("100000\n"));
    const Process exported = run(QStringLiteral("mdb-export"),
                                 {QStringLiteral("-Q"), QStringLiteral("-d"), QStringLiteral(";"), file,
                                  QStringLiteral("Article")});
    QCOMPARE(exported.exitCode, 0);
    const QStringList lines = exported.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 100001);
    QCOMPARE(lines[1], QStringLiteral("A00000000;3760000000000"));
    QCOMPARE(lines.last(), QStringLiteral("A00099999;3760000099999"));
    for (int i = 0; i < 100000; ++i) {
        if (lines[i + 1] != *rows[i].values[0] + QLatin1Char(';') + *rows[i].values[1])
            QFAIL(qPrintable(QStringLiteral("ligne %1 : %2").arg(i).arg(lines[i + 1])));
    }
}

void TestMdbWriter::definitionOverSeveralPages()
{
    // 200 columns with long names: a definition of about 28 KB, on seven pages.
    Table table{QStringLiteral("Large"), {}, {}};
    Values first;
    Values second;
    for (int c = 0; c < 200; ++c) {
        table.columns.push_back({QStringLiteral("Colonne %1 au nom long, très long, vraiment long").arg(c), 5});
        first.emplace_back(QString::number(c));
        second.emplace_back(c % 3 == 0 ? std::nullopt : std::optional<QString>(QStringLiteral("x")));
    }
    table.rows = {Row{first, false}, Row{second, false}};
    const QString file = path(QStringLiteral("wide.mdb"));
    mdbwriter::writeMdb(file, {table});

    const QString schema = run(QStringLiteral("mdb-schema"), {file}).out;
    QCOMPARE(schema.count(QStringLiteral("Text (5)")), 200);
    QVERIFY(schema.contains(QStringLiteral("[Colonne 199 au nom long, très long, vraiment long]")));
    const ReadTable read = readTable(file, table.name);
    QCOMPARE(read.rows.size(), 2u);
    QCOMPARE(read.rows[0].values, first);
    QCOMPARE(read.rows[1].values, second);
}

void TestMdbWriter::deletedRows()
{
    Rows rows = numberedArticles(300);
    for (int i : {0, 1, 150, 255, 299})
        rows[i].deleted = true;
    const QString file = path(QStringLiteral("deleted.mdb"));
    mdbwriter::writeMdb(file, {articles(rows), Table{QStringLiteral("Vide"), {{QStringLiteral("C")}},
                                                     {row({"x"}, true), row({"y"}, true)}}});
    const QByteArray bytes = readAll(file);

    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")}).out, QStringLiteral("295\n"));
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Vide")}).out, QStringLiteral("0\n"));

    // mdbtools 1.0 still returns rows flagged deleted, so the flags are read from the file.
    const ReadTable read = readTable(file, QStringLiteral("Article"));
    Rows flaggedLive;
    std::vector<int> flaggedDeleted;
    for (const ReadRow &r : read.rows) {
        const quint16 flags = slotFlags(bytes, r.page, r.slot);
        QVERIFY(flags == 0 || flags == 0x8000);
        if (flags == 0x8000)
            flaggedDeleted.push_back(r.values[0]->mid(1).toInt());
        else
            flaggedLive.push_back(Row{r.values, false});
    }
    QCOMPARE(flaggedDeleted, (std::vector<int>{0, 1, 150, 255, 299}));
    const Rows live = liveRows(rows);
    QCOMPARE(flaggedLive.size(), live.size());
    for (std::size_t i = 0; i < live.size(); ++i)
        QCOMPARE(flaggedLive[i].values, live[i].values);
}

void TestMdbWriter::reproducible()
{
    const Tables tables = {articles(numberedArticles(2000)),
                           Table{QStringLiteral("Autre"), {{QStringLiteral("X"), 10}}, {row({std::nullopt}, true)}}};
    mdbwriter::writeMdb(path(QStringLiteral("one.mdb")), tables);
    mdbwriter::writeMdb(path(QStringLiteral("two.mdb")), tables);
    const QByteArray one = readAll(path(QStringLiteral("one.mdb")));
    QCOMPARE(one.size() % pageSize, 0);
    QCOMPARE(one, readAll(path(QStringLiteral("two.mdb"))));
    QCOMPARE(one, mdbwriter::build(tables));
}

void TestMdbWriter::invalidTables_data()
{
    QTest::addColumn<Tables>("tables");
    QTest::addColumn<QString>("description");

    const auto single = [](QString name, std::vector<Column> columns, Rows rows = {}) {
        return Tables{Table{std::move(name), std::move(columns), std::move(rows)}};
    };
    const std::vector<Column> code = {{QStringLiteral("Code"), 5}};

    QTest::newRow("value too long") << single("Article", code, {row({"12345"}), row({"123456"})})
        << "La valeur de la colonne « Code » à la ligne 2 de la table « Article » compte 6 caractères "
           "pour une longueur maximale de 5.";
    QTest::newRow("non Latin-1 value too long") << single("Article", code, {row({"ΩΩΩΩΩΩ"})})
        << "La valeur de la colonne « Code » à la ligne 1 de la table « Article » compte 6 caractères "
           "pour une longueur maximale de 5.";
    QTest::newRow("byte order mark first") << single("Article", code, {row({QChar(0xFEFF) + QStringLiteral("ab")})})
        << "La valeur de la colonne « Code » à la ligne 1 de la table « Article » commence par le "
           "caractère U+FEFF, que le format ne peut pas enregistrer.";
    QTest::newRow("too many values") << single("Article", code, {row({"a", "b"})})
        << "La ligne 1 de la table « Article » a 2 valeurs pour 1 colonnes.";
    QTest::newRow("too few values") << single("Article", {{"A"}, {"B"}}, {row({"a", "b"}), row({"a"})})
        << "La ligne 2 de la table « Article » a 1 valeurs pour 2 colonnes.";

    std::vector<Column> wide;
    Values full;
    for (int c = 0; c < 16; ++c) {
        wide.push_back({QStringLiteral("C%1").arg(c), 255});
        full.emplace_back(QString(255, QLatin1Char('x')));
    }
    QTest::newRow("row too long for a page") << single("Large", wide, {Row{full, false}})
        << "La ligne 1 de la table « Large » occupe 4152 octets ; une ligne en occupe au plus 4060.";

    QTest::newRow("length zero") << single("T", {{"C", 0}})
        << "La longueur de la colonne « C » de la table « T » doit être comprise entre 1 et 255 (et non 0).";
    QTest::newRow("length 256") << single("T", {{"C", 256}})
        << "La longueur de la colonne « C » de la table « T » doit être comprise entre 1 et 255 (et non 256).";
    QTest::newRow("no column") << single("T", {}) << "La table « T » n'a aucune colonne.";
    QTest::newRow("256 columns") << single("T", std::vector<Column>(256, Column{"C"}))
        << "La table « T » a 256 colonnes ; une table en compte au plus 255.";
    QTest::newRow("empty table name") << single("", code) << "Un nom de table est vide.";
    QTest::newRow("empty column name") << single("T", {{""}}) << "Un nom de colonne est vide.";
    QTest::newRow("dot in table name") << single("Art.icle", code)
        << "Le nom de table « Art.icle » contient un caractère interdit (U+002e).";
    QTest::newRow("bracket in column name") << single("T", {{"[C]"}})
        << "Le nom de colonne « [C] » contient un caractère interdit (U+005b).";
    QTest::newRow("control character") << single("T\tab", code)
        << "Le nom de table « T\tab » contient un caractère interdit (U+0009).";
    QTest::newRow("leading space") << single(" T", code) << "Le nom de table «  T » commence par une espace.";
    QTest::newRow("name too long") << single(QString(65, QLatin1Char('n')), code)
        << "Le nom de table « " + QString(65, QLatin1Char('n')) + " » dépasse 64 caractères.";
    QTest::newRow("system name") << single("msysArticle", code)
        << "Le nom de table « msysArticle » est réservé aux tables système.";
    QTest::newRow("same column twice") << single("T", {{"Code"}, {"CODE"}})
        << "La colonne « CODE » apparaît deux fois dans la table « T ».";
    QTest::newRow("same table twice")
        << Tables{Table{"Article", code, {}}, Table{"article", code, {}}}
        << "La table « article » est déclarée deux fois.";
}

void TestMdbWriter::invalidTables()
{
    QFETCH(Tables, tables);
    QFETCH(QString, description);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("base.mdb"));
    mdbwriter::writeMdb(file, {articles({row({"ancien", "contenu"})})});
    const QByteArray before = readAll(file);

    try {
        mdbwriter::writeMdb(file, tables);
        QFAIL("no failure");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), description);
        QCOMPARE(failure.number(), int(Failure::DatabaseError));
    }
    QCOMPARE(readAll(file), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("base.mdb")});
}

void TestMdbWriter::unwritablePaths_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("folder that does not exist") << "absent/base.mdb";
    QTest::newRow("folder that is a file") << "fichier/base.mdb";
    QTest::newRow("path that is a folder") << "dossier";
}

void TestMdbWriter::unwritablePaths()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("fichier")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("contenu");
    plain.close();
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dossier")));
    const QString file = dir.filePath(relative);

    try {
        mdbwriter::writeMdb(file, {articles({row({"A1", "B1"})})});
        QFAIL("no failure");
    } catch (const Failure &failure) {
        QCOMPARE(failure.number(), int(Failure::FileAccess));
        QVERIFY2(failure.description().startsWith(QStringLiteral("Erreur d'accès au fichier : ") + file),
                 qPrintable(failure.description()));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("dossier"), QStringLiteral("fichier")}));
    QVERIFY(QDir(dir.filePath(QStringLiteral("dossier"))).isEmpty());
    QCOMPARE(readAll(dir.filePath(QStringLiteral("fichier"))), QByteArray("contenu"));
}

void TestMdbWriter::parseRows_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Rows>("rows");

    QTest::newRow("empty input") << QByteArray() << Rows{};
    QTest::newRow("last line end optional") << QByteArray("a;b\nc;d") << Rows{row({"a", "b"}), row({"c", "d"})};
    QTest::newRow("CR LF and byte order mark") << QByteArray("\xEF\xBB\xBF" "a;b\r\nc;d\r\n")
                                               << Rows{row({"a", "b"}), row({"c", "d"})};
    QTest::newRow("NULL and empty") << QByteArray("\\N;\n;\\N\n") << Rows{row({std::nullopt, ""}), row({"", std::nullopt})};
    QTest::newRow("escapes") << QByteArray("\\;\\\\;\\t\\r\\n\n") << Rows{row({";\\", "\t\r\n"})};
    QTest::newRow("spaces kept") << QByteArray(" a ; b \n") << Rows{row({" a ", " b "})};
    QTest::newRow("deleted row") << QByteArray("\\Da;b\n\\D\\N;\n") << Rows{row({"a", "b"}, true), row({std::nullopt, ""}, true)};
    QTest::newRow("UTF-8") << QByteArray("Été;Ωmega €\n") << Rows{row({"Été", "Ωmega €"})};
    QTest::newRow("a lone CR is text") << QByteArray("a\rb;c\n") << Rows{row({"a\rb", "c"})};
}

void TestMdbWriter::parseRows()
{
    QFETCH(QByteArray, text);
    QFETCH(Rows, rows);
    const Rows parsed = mdbwriter::parseRows(text, 2, QStringLiteral("lignes.txt"));
    QCOMPARE(parsed.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(parsed[i].values, rows[i].values);
        QCOMPARE(parsed[i].deleted, rows[i].deleted);
    }
}

void TestMdbWriter::commandLine()
{
    const QString file = path(QStringLiteral("cli.mdb"));
    const QString famillies = path(QStringLiteral("familles.txt"));
    QFile input(famillies);
    QVERIFY(input.open(QIODevice::WriteOnly));
    input.write("F1;Visserie\nF2;\\N\n");
    input.close();

    const Process written = run(QStringLiteral(MDBWRITER_PROGRAM),
                                {file, QStringLiteral("--table"), QStringLiteral("Article"),
                                 QStringLiteral("--columns"), QStringLiteral("Code:20,CodeBarre:13"),
                                 QStringLiteral("--table=Famille"), QStringLiteral("--columns=Code:4,Nom"),
                                 QStringLiteral("--input"), famillies},
                                "A1;3760001000017\n\\N;3760001000024\n;\n\\DB2;3760001000031\nÉté 1\\;2;\\N\n");
    QCOMPARE(written.err, QString());
    QCOMPARE(written.exitCode, 0);

    const ReadTable article = readTable(file, QStringLiteral("Article"));
    const std::vector<Values> expected = {{"A1", "3760001000017"}, {std::nullopt, "3760001000024"},
                                          {"", ""}, {"B2", "3760001000031"}, {"Été 1;2", std::nullopt}};
    QCOMPARE(article.rows.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        QCOMPARE(article.rows[i].values, expected[i]);
    QCOMPARE(slotFlags(readAll(file), article.rows[3].page, article.rows[3].slot), quint16(0x8000));
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")}).out, QStringLiteral("4\n"));

    const ReadTable famille = readTable(file, QStringLiteral("Famille"));
    QCOMPARE(famille.rows.size(), 2u);
    QCOMPARE(famille.rows[1].values, (Values{"F2", std::nullopt}));
    QVERIFY(run(QStringLiteral("mdb-schema"), {file}).out.contains(QStringLiteral("[Nom]\t\t\tText (255)")));
}

void TestMdbWriter::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList article = {"--table", "Article", "--columns", "Code:5,CodeBarre:13"};
    QTest::newRow("field count") << article << QByteArray("A;1\nB;2;3\n") << 1
        << "mdbwriter : entrée standard, ligne 2 : 3 champs pour 2 colonnes.\n";
    QTest::newRow("invalid UTF-8") << article << QByteArray("A;1\n\xE9t\xE9;2\n") << 1
        << "mdbwriter : entrée standard, ligne 2 : texte UTF-8 non valide.\n";
    QTest::newRow("unknown escape") << article << QByteArray("A\\x;1\n") << 1
        << "mdbwriter : entrée standard, ligne 1 : séquence inconnue \\x.\n";
    QTest::newRow("NULL inside text") << article << QByteArray("A;1\\N\n") << 1
        << "mdbwriter : entrée standard, ligne 1 : \\N (NULL) doit occuper tout le champ 2.\n";
    QTest::newRow("value too long") << article << QByteArray("ABCDEF;1\n") << 1
        << "mdbwriter : La valeur de la colonne « Code » à la ligne 1 de la table « Article » compte "
           "6 caractères pour une longueur maximale de 5.\n";
    QTest::newRow("missing input file") << article + QStringList{"--input", "/nonexistent/lignes.txt"} << QByteArray()
        << 1 << "mdbwriter : Fichier introuvable : /nonexistent/lignes.txt\n";
    QTest::newRow("bad length") << QStringList{"--table", "T", "--columns", "C:dix"} << QByteArray() << 1
        << "mdbwriter : Longueur de colonne non valide : « C:dix ».\n";
    QTest::newRow("unknown option") << QStringList{"--tables", "T"} << QByteArray() << 2
        << "mdbwriter : option inconnue : --tables.\nVoir « mdbwriter --help ».\n";
    QTest::newRow("columns before table") << QStringList{"--columns", "C"} << QByteArray() << 2
        << "mdbwriter : --columns doit suivre --table.\nVoir « mdbwriter --help ».\n";
    QTest::newRow("two tables on standard input") << QStringList{"--table", "A", "--columns", "C", "--table", "B",
                                                                 "--columns", "C"}
        << QByteArray() << 2
        << "mdbwriter : une seule table peut lire l'entrée standard ; donnez --input aux autres.\n"
           "Voir « mdbwriter --help ».\n";
}

void TestMdbWriter::commandLineErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("base.mdb"));

    const Process process = run(QStringLiteral(MDBWRITER_PROGRAM), QStringList{file} + arguments, input);
    QCOMPARE(process.err, message);
    QCOMPARE(process.exitCode, exitCode);
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestMdbWriter)
#include "tst_mdbwriter.moc"
