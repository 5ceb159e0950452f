// The .mdb writer, checked by reading its files back with mdbtools: its command-line tools run
// as processes, and libmdb itself where NULLs and slot flags must be seen.

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

#include <algorithm>

using mdbwriter::Column;
using mdbwriter::Row;
using mdbwriter::Table;
using Tables = std::vector<Table>;
using Rows = std::vector<Row>;
using Values = std::vector<std::optional<QString>>;
using Counts = std::vector<int>;

Q_DECLARE_METATYPE(Tables)

namespace {

Row row(std::initializer_list<std::optional<QString>> values, bool deleted = false)
{
    return Row{Values(values), deleted};
}

Table articles(Rows rows)
{
    return Table{QStringLiteral("Article"), {{QStringLiteral("Code"), 50}, {QStringLiteral("Libelle"), 255}}, std::move(rows)};
}

Rows numberedArticles(int count)
{
    Rows rows;
    for (int i = 0; i < count; ++i)
        rows.push_back(row({QStringLiteral("A%1").arg(i, 8, 10, QLatin1Char('0')), QString::number(3760000000000 + i)}));
    return rows;
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
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// mdb-export's rows between unit and record separators, which no test text holds; it prints
// NULL and the empty text alike.
QString exportRows(const QString &file, const QString &table)
{
    return run(QStringLiteral("mdb-export"), {"-H", "-Q", "-d", "\x1f", "-R", "\x1e", "-0", "\x1d", file, table}).out;
}

QString exportText(const Rows &rows)
{
    QString text;
    for (const Row &r : rows) {
        for (const auto &value : r.values)
            text += (value && !value->isEmpty() ? *value : QStringLiteral("\x1d")) + QLatin1Char('\x1f');
        text.back() = QLatin1Char('\x1e'); // the last field ends the record
    }
    return text;
}

// A table as libmdb reads it: each row's values (NULL told apart through the row's null mask)
// and slot flags, and how many rows each data page holds.
struct ReadTable
{
    std::vector<Values> values;
    Counts flags;
    Counts rowsPerPage;
};

ReadTable readTable(const QString &path, const QString &name)
{
    ReadTable result;
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return result;
    mdb_read_catalog(mdb, MDB_TABLE);
    MdbCatalogEntry *entry = mdb_get_catalogentry_by_name(mdb, name.toUtf8().data());
    MdbTableDef *table = entry ? mdb_read_table(entry) : nullptr;
    if (table && mdb_read_columns(table)) {
        const auto columns = std::size_t(table->num_cols);
        std::vector<QByteArray> bound(columns, QByteArray(MDB_BIND_SIZE, '\0'));
        for (std::size_t c = 0; c < columns; ++c)
            mdb_bind_column(table, int(c + 1), bound[c].data(), nullptr);
        mdb_rewind_table(table);
        std::vector<MdbField> fields(columns);
        while (mdb_fetch_row(table)) {
            const int slot = int(table->cur_row) - 1;
            int start = 0;
            size_t length = 0;
            mdb_find_row(mdb, slot, &start, &length);
            mdb_crack_row(table, start & 0x1FFF, length, fields.data());
            Values &values = result.values.emplace_back();
            for (std::size_t c = 0; c < columns; ++c)
                values.push_back(fields[c].is_null ? std::nullopt : std::optional(QString::fromUtf8(bound[c].constData())));
            result.flags.push_back(qFromLittleEndian<quint16>(mdb->pg_buf + 14 + 2 * slot) & 0xE000);
            if (slot == 0 || result.rowsPerPage.empty())
                result.rowsPerPage.push_back(0);
            ++result.rowsPerPage.back();
        }
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return result;
}

} // namespace

class TestMdbWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readBack_data();
    void readBack();
    void failures_data();
    void failures();
    void commandLine();
    void commandLineErrors_data();
    void commandLineErrors();

private:
    QTemporaryDir m_dir;
};

void TestMdbWriter::readBack_data()
{
    QTest::addColumn<Tables>("tables");
    QTest::addColumn<Counts>("rowsPerPage"); // of the first table; empty: not checked

    const auto one = [](Rows rows) { return Tables{articles(std::move(rows))}; };
    const auto letters = [](int count, int length) {
        return Tables{Table{QStringLiteral("T"), {{QStringLiteral("C")}}, Rows(std::size_t(count), row({QString(length, u'a')}))}};
    };
    QTest::newRow("no rows") << one({}) << Counts();
    QTest::newRow("NULL and empty text")
        << one({row({std::nullopt, ""}), row({"", std::nullopt}), row({std::nullopt, std::nullopt}), row({"", ""})}) << Counts{4};
    QTest::newRow("Latin-1 and beyond") << one({row({"Été", "Dépôt çà et là, ÿ ß Æ ñ"}), row({"ÿþ", "þÿ"}), row({"Ωmega", "€"}),
                                                row({"中文", "prix 5 € le mètre"}), row({"Ā", "ǅ Ỳ ﬁ"}),
                                                row({QStringLiteral("x\uFEFF"), QStringLiteral("€\uFEFF")})})
                                        << Counts();
    QTest::newRow("spaces, quotes, separators, line ends")
        << one({row({"  A1", "B2  "}), row({" ", "\tX\t"}), row({"O'Brien", "\"Guillemets\" et 100 %"}), row({"a;b,c", "ligne 1\nligne 2"}),
                row({"\r\n", "\\N"})})
        << Counts();
    QTest::newRow("full length") << one({row({QString(50, u'x'), QString(255, u'é')}), row({QString(50, u'Ω'), QString(255, u'€')})})
                                 << Counts();
    // At most 255 rows a page, as a row number is one byte; wide rows fill the 4 KiB first.
    QTest::newRow("255 small rows") << letters(255, 1) << Counts{255};
    QTest::newRow("256 small rows") << letters(256, 1) << Counts{255, 1};
    QTest::newRow("31 wide rows") << letters(31, 255) << Counts{15, 15, 1};

    // 30 tables need more usage maps than a page holds.
    Tables named;
    for (int t = 0; t < 30; ++t) {
        const QString name = QStringLiteral("Dépôt d'articles %1").arg(t);
        named.push_back(Table{name, {{QStringLiteral("Nom dépôt"), 20 + t}, {QStringLiteral("Code")}},
                              {row({name, "D"}), row({std::nullopt, ""})}});
    }
    QTest::newRow("30 tables") << named << Counts{2};

    // 200 columns with long names: a definition of about 28 KB, on seven pages.
    Table wide{QStringLiteral("Large"), {}, {Row{}, Row{}}};
    for (int c = 0; c < 200; ++c) {
        wide.columns.push_back({QStringLiteral("Colonne %1 au nom long, très long, vraiment long").arg(c), 5});
        wide.rows[0].values.emplace_back(QString::number(c));
        wide.rows[1].values.emplace_back(c % 3 == 0 ? std::nullopt : std::optional<QString>(QStringLiteral("x")));
    }
    QTest::newRow("definition over several pages") << Tables{wide} << Counts{2};

    // 962 data pages, beyond the 512 pages an inline usage map covers; deleted rows keep their slots.
    Rows many = numberedArticles(100000);
    for (int i : {0, 1, 150, 255, 99999})
        many[std::size_t(i)].deleted = true;
    const Table deleted{QStringLiteral("Vide"), {{QStringLiteral("C")}}, {row({"x"}, true)}};
    Counts pages(961, 104);
    pages.push_back(56);
    QTest::newRow("100 000 rows, some deleted") << Tables{articles(many), deleted} << pages;
}

void TestMdbWriter::readBack()
{
    QFETCH(Tables, tables);
    QFETCH(Counts, rowsPerPage);
    const QString file = m_dir.filePath(QStringLiteral("read.mdb"));
    mdbwriter::writeMdb(file, tables);
    QCOMPARE(readAll(file), mdbwriter::build(tables)); // the same bytes at every build

    QCOMPARE(run(QStringLiteral("mdb-ver"), {file}).out, QStringLiteral("JET4\n"));
    const QString schema = run(QStringLiteral("mdb-schema"), {file}).out;
    QStringList names;
    for (const Table &table : tables) {
        names << table.name;
        QVERIFY2(schema.contains(QStringLiteral("CREATE TABLE [%1]").arg(table.name)), qPrintable(table.name));
        for (const Column &column : table.columns) {
            const QRegularExpression line(
                QStringLiteral("\\[%1\\]\\s+Text \\(%2\\)").arg(QRegularExpression::escape(column.name)).arg(column.maxLength));
            QVERIFY2(schema.contains(line), qPrintable(column.name));
        }

        // mdbtools 1.0 reads rows flagged deleted as live ones; only its row count leaves them out.
        const ReadTable read = readTable(file, table.name);
        QCOMPARE(read.values.size(), table.rows.size());
        for (std::size_t i = 0; i < table.rows.size(); ++i) {
            QCOMPARE(read.values[i], table.rows[i].values);
            QCOMPARE(read.flags[i], table.rows[i].deleted ? 0x8000 : 0);
        }
        if (&table == &tables.front() && !rowsPerPage.empty())
            QCOMPARE(read.rowsPerPage, rowsPerPage);
        QCOMPARE(exportRows(file, table.name), exportText(table.rows));
        QCOMPARE(run(QStringLiteral("mdb-count"), {file, table.name}).out.trimmed().toLong(),
                 std::count_if(table.rows.begin(), table.rows.end(), [](const Row &r) { return !r.deleted; }));
    }
    QCOMPARE(run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}).out, names.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TestMdbWriter::failures_data()
{
    QTest::addColumn<Tables>("tables");
    QTest::addColumn<QString>("target");      // beside base.mdb, a file "fichier" and an empty folder "dossier"
    QTest::addColumn<QString>("description"); // empty: the file cannot be written

    const auto invalid = [](const char *tag, const QString &name, const std::vector<Column> &columns, const Rows &rows,
                            const QString &description) {
        QTest::newRow(tag) << Tables{Table{name, columns, rows}} << QStringLiteral("base.mdb") << description;
    };
    const std::vector<Column> code = {{QStringLiteral("Code"), 5}};
    const QString value = QStringLiteral("La valeur de la colonne « Code » à la ligne %1 de la table « Article » ");
    const QString length = QStringLiteral("La longueur de la colonne « C » de la table « T » doit être comprise entre 1 et 255 "
                                          "(et non %1).");
    invalid("value too long", "Article", code, {row({"12345"}), row({"123456"})},
            value.arg(2) + "compte 6 caractères pour une longueur maximale de 5.");
    invalid("byte order mark first", "Article", code, {row({QStringLiteral("\uFEFFab")})},
            value.arg(1) + "commence par le caractère U+FEFF, que le format ne peut pas enregistrer.");
    invalid("value count", "Article", {{"A"}, {"B"}}, {row({"a", "b"}), row({"a"})},
            "La ligne 2 de la table « Article » a 1 valeurs pour 2 colonnes.");
    invalid("row too long for a page", "L", {{"A"}, {"B"}, {"C"}, {"D"}, {"E"}, {"F"}, {"G"}, {"H"}}, {Row{Values(8, QString(255, u'€'))}},
            "La ligne 1 de la table « L » occupe 4103 octets ; une ligne en occupe au plus 4060.");
    invalid("length zero", "T", {{"C", 0}}, {}, length.arg(0));
    invalid("length 256", "T", {{"C", 256}}, {}, length.arg(256));
    invalid("no column", "T", {}, {}, "La table « T » n'a aucune colonne.");
    invalid("256 columns", "T", std::vector<Column>(256, {"C"}), {}, "La table « T » a 256 colonnes ; une table en compte au plus 255.");
    invalid("empty name", "T", {{""}}, {}, "Un nom de colonne est vide.");
    invalid("dot", "Art.icle", code, {}, "Le nom de table « Art.icle » contient un caractère interdit (U+002e).");
    invalid("control character", "T", {{"C\tD"}}, {}, "Le nom de colonne « C\tD » contient un caractère interdit (U+0009).");
    invalid("leading space", " T", code, {}, "Le nom de table «  T » commence par une espace.");
    const QString longName(65, u'n');
    invalid("name too long", longName, code, {}, "Le nom de table « " + longName + " » dépasse 64 caractères.");
    invalid("system name", "msysArticle", code, {}, "Le nom de table « msysArticle » est réservé aux tables système.");
    invalid("same column twice", "T", {{"Code"}, {"CODE"}}, {}, "La colonne « CODE » apparaît deux fois dans la table « T ».");
    QTest::newRow("same table twice") << Tables{Table{"Article", code, {}}, Table{"article", code, {}}} << "base.mdb"
                                      << "La table « article » est déclarée deux fois.";

    const Tables valid = {articles({row({"A1", "B1"})})};
    QTest::newRow("folder that does not exist") << valid << "absent/base.mdb" << QString();
    QTest::newRow("folder that is a file") << valid << "fichier/base.mdb" << QString();
    QTest::newRow("path that is a folder") << valid << "dossier" << QString();
}

void TestMdbWriter::failures()
{
    QFETCH(Tables, tables);
    QFETCH(QString, target);
    QFETCH(QString, description);
    QTemporaryDir dir;
    for (const char *name : {"base.mdb", "fichier"}) {
        QFile previous(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(previous.open(QIODevice::WriteOnly) && previous.write("contenu") == 7);
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dossier")));
    const QString file = dir.filePath(target);

    try {
        mdbwriter::writeMdb(file, tables);
        QFAIL("no failure");
    } catch (const Failure &failure) {
        QCOMPARE(failure.number(), int(description.isEmpty() ? Failure::FileAccess : Failure::DatabaseError));
        const QString actual = failure.description();
        QVERIFY2(description.isEmpty() ? actual.startsWith(QStringLiteral("Erreur d'accès au fichier : ") + file) : actual == description,
                 qPrintable(actual));
    }
    // Nothing written, nothing left behind.
    QCOMPARE(readAll(dir.filePath(QStringLiteral("base.mdb"))), QByteArray("contenu"));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("fichier"))), QByteArray("contenu"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("base.mdb"), QStringLiteral("dossier"), QStringLiteral("fichier")}));
    QVERIFY(QDir(dir.filePath(QStringLiteral("dossier"))).isEmpty());
}

void TestMdbWriter::commandLine()
{
    // The row text: a byte order mark, CR LF or LF, \N for NULL, \D for a deleted row, escapes,
    // a lone CR and spaces kept as text, no line end needed after the last line.
    const QString file = m_dir.filePath(QStringLiteral("cli.mdb"));
    const Process written = run(QStringLiteral(MDBWRITER_PROGRAM),
                                {file, QStringLiteral("--table"), QStringLiteral("Article"), QStringLiteral("--columns"),
                                 QStringLiteral("Code:20,CodeBarre:13"), QStringLiteral("--table=Famille"),
                                 QStringLiteral("--columns=Code:4,Nom"), QStringLiteral("--input=/dev/null")},
                                "\xEF\xBB\xBF" "A1;3760001000017\r\n\\N;3760001000024\n;\n\\DB2;3760001000031\n"
                                "Été 1\\;2;\\N\n a\rb ;\\\\\\t\\r\\n");
    QCOMPARE(written.err, QString());
    QCOMPARE(written.exitCode, 0);

    const ReadTable article = readTable(file, QStringLiteral("Article"));
    QCOMPARE(article.values, (std::vector<Values>{{"A1", "3760001000017"}, {std::nullopt, "3760001000024"}, {"", ""},
                                                  {"B2", "3760001000031"}, {"Été 1;2", std::nullopt}, {" a\rb ", "\\\t\r\n"}}));
    QCOMPARE(article.flags, (Counts{0, 0, 0, 0x8000, 0, 0}));
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Article")}).out, QStringLiteral("5\n"));
    QCOMPARE(run(QStringLiteral("mdb-count"), {file, QStringLiteral("Famille")}).out, QStringLiteral("0\n"));
    QVERIFY(run(QStringLiteral("mdb-schema"), {file}).out.contains(QStringLiteral("[Code]\t\t\tText (4), \n\t[Nom]\t\t\tText (255)")));
}

void TestMdbWriter::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList article = {"--table", "Article", "--columns", "Code:5,CodeBarre:13"};
    const auto lineError = [&](const char *tag, const char *input, const QString &message) {
        QTest::newRow(tag) << article << QByteArray(input) << 1 << "mdbwriter : entrée standard, ligne " + message + "\n";
    };
    lineError("field count", "A;1\nB;2;3\n", "2 : 3 champs pour 2 colonnes.");
    lineError("invalid UTF-8", "A;1\n\xE9t\xE9;2\n", "2 : texte UTF-8 non valide.");
    lineError("unknown escape", "A\\x;1\n", "1 : séquence inconnue \\x.");
    lineError("NULL inside text", "A;1\\N\n", "1 : \\N (NULL) doit occuper tout le champ 2.");
    QTest::newRow("missing input file") << article + QStringList{"--input", "/nonexistent/lignes.txt"} << QByteArray() << 1
                                        << "mdbwriter : Fichier introuvable : /nonexistent/lignes.txt\n";
    QTest::newRow("bad length") << QStringList{"--table", "T", "--columns", "C:dix"} << QByteArray() << 1
                                << "mdbwriter : Longueur de colonne non valide : « C:dix ».\n";
    QTest::newRow("unknown option") << QStringList{"--tables", "T"} << QByteArray() << 2
                                    << "mdbwriter : option inconnue : --tables.\nVoir « mdbwriter --help ».\n";
    QTest::newRow("two tables on standard input")
        << QStringList{"--table", "A", "--columns", "C", "--table", "B", "--columns", "C"} << QByteArray() << 2
        << "mdbwriter : une seule table peut lire l'entrée standard ; donnez --input aux autres.\nVoir « mdbwriter --help ».\n";
}

void TestMdbWriter::commandLineErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    arguments.prepend(dir.filePath(QStringLiteral("base.mdb")));
    const Process process = run(QStringLiteral(MDBWRITER_PROGRAM), arguments, input);
    QCOMPARE(process.err, message);
    QCOMPARE(process.exitCode, exitCode);
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestMdbWriter)
#include "tst_mdbwriter.moc"
