#include "import/extrairechamp.h"
#include "import/myval.h"
#include "platform/failure.h"
#include "tests/testlocale.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<double>)

class TestLineCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extraireChamp_data();
    void extraireChamp();
    void extraireChampOverflow_data();
    void extraireChampOverflow();
    void myVal_data();
    void myVal();
    void myValOverflow();
};

void TestLineCore::extraireChamp_data()
{
    QTest::addColumn<QString>("ligne");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("expected");

    QTest::newRow("closed quantity, field 1") << "A1;5;" << 1 << ";" << "A1";
    QTest::newRow("closed quantity, field 2") << "A1;5;" << 2 << ";" << "5";
    QTest::newRow("unclosed quantity, field 1") << "A1;5" << 1 << ";" << "A1";
    QTest::newRow("unclosed quantity is not a field") << "A1;5" << 2 << ";" << "";
    QTest::newRow("no separator, field 1") << "A1" << 1 << ";" << "";
    QTest::newRow("no separator, field 2") << "A1" << 2 << ";" << "";
    QTest::newRow("leading separator, field 1") << ";5;" << 1 << ";" << "";
    QTest::newRow("leading separator, field 2") << ";5;" << 2 << ";" << "5";
    QTest::newRow("empty quantity, field 1") << "A1;;" << 1 << ";" << "A1";
    QTest::newRow("empty quantity, field 2") << "A1;;" << 2 << ";" << "";
    QTest::newRow("spaces kept") << " A1 ;5;" << 1 << ";" << " A1 ";
    QTest::newRow("spaces kept, field 2") << " A1 ;5;" << 2 << ";" << "5";
    QTest::newRow("letter case kept") << "a1;5;" << 1 << ";" << "a1";
    QTest::newRow("third field ignored by field 2") << "A1;5;9;" << 2 << ";" << "5";
    QTest::newRow("field 3 of two fields") << "A1;5;" << 3 << ";" << "";
    QTest::newRow("field 3 of three fields") << "A1;5;9;" << 3 << ";" << "9";
    QTest::newRow("field 4 of three fields") << "A1;5;9;" << 4 << ";" << "";
    QTest::newRow("text after the last separator") << "ART01;4;lot 7;" << 3 << ";" << "lot 7";
    QTest::newRow("field 0") << "A1;5;" << 0 << ";" << "";
    QTest::newRow("negative field") << "A1;5;" << -1 << ";" << "";
    QTest::newRow("most negative field") << "A1;5;" << -32768 << ";" << "";
    QTest::newRow("decimal comma inside a field") << "ART01;1,5;" << 2 << ";" << "1,5";
    QTest::newRow("grouping space inside a field") << "ART01;1 250;" << 2 << ";" << "1 250";
    QTest::newRow("empty line") << "" << 1 << ";" << "";
    QTest::newRow("separator compared exactly") << "A1,5," << 1 << ";" << "";
    QTest::newRow("non-Latin text") << "Ωmega€;2;" << 1 << ";" << "Ωmega€";
    QTest::newRow("other separator") << "A1|5|" << 2 << "|" << "5";
}

void TestLineCore::extraireChamp()
{
    QFETCH(QString, ligne);
    QFETCH(int, n);
    QFETCH(QString, sep);
    QFETCH(QString, expected);
    const QString before = ligne;
    QCOMPARE(ExtraireChamp(ligne, static_cast<qint16>(n), sep), expected);
    QCOMPARE(ligne, before);
}

void TestLineCore::extraireChampOverflow_data()
{
    QTest::addColumn<QString>("ligne");
    QTest::addColumn<int>("n");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QString>("expected");

    const QString x32766(32766, QLatin1Char('x'));
    const QString x32767(32767, QLatin1Char('x'));
    QTest::newRow("separator at 32,767") << x32766 + ";" << 1 << false << x32766;
    QTest::newRow("separator at 32,768") << x32767 + ";" << 1 << true << "";
    QTest::newRow("second search would start at 32,768") << x32766 + ";5;" << 2 << true << "";
    QTest::newRow("32,766 characters without separator") << x32766 << 2 << false << "";
    QTest::newRow("long line without separator") << QString(40000, QLatin1Char('x')) << 1 << false << "";
    QTest::newRow("separator at 32,766, next search finds nothing")
        << QString(32765, QLatin1Char('x')) + ";5" << 2 << false << "";
    QTest::newRow("late second separator") << "A;" + x32767 + ";" << 1 << false << "A";
    QTest::newRow("late second separator overflows field 2") << "A;" + x32767 + ";" << 2 << true << "";
}

void TestLineCore::extraireChampOverflow()
{
    QFETCH(QString, ligne);
    QFETCH(int, n);
    QFETCH(bool, fails);
    QFETCH(QString, expected);
    try {
        const QString field = ExtraireChamp(ligne, static_cast<qint16>(n), QStringLiteral(";"));
        QVERIFY2(!fails, "an overflow was expected");
        QCOMPARE(field, expected);
    } catch (const Failure &failure) {
        QVERIFY2(fails, qPrintable(failure.description()));
        QCOMPARE(failure.number(), int(Failure::Overflow));
        QCOMPARE(failure.description(), QStringLiteral("Dépassement de capacité"));
    }
}

void TestLineCore::myVal_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<std::optional<QString>>("chaine");
    QTest::addColumn<std::optional<double>>("expected");

    const QString nbsp(QChar(0x00A0));
    struct Row {
        const char *name;
        std::optional<QString> chaine;
        std::optional<double> expected;
    };
    const Row rows[] = {
        {"whole", QStringLiteral("12"), 12.0},
        {"decimal comma", QStringLiteral("12,5"), 12.5},
        {"decimal point", QStringLiteral("12.5"), 12.5},
        {"grouping space", QStringLiteral("1 234,5"), 1234.5},
        {"no-break space", QStringLiteral("1") + nbsp + QStringLiteral("234"), 1234.0},
        {"negative", QStringLiteral("-3"), -3.0},
        {"space after sign", QStringLiteral("- 3"), -3.0},
        {"plus sign", QStringLiteral("+7"), 7.0},
        {"trailing minus", QStringLiteral("5-"), 5.0},
        {"two minus signs", QStringLiteral("--5"), 0.0},
        {"unit after", QStringLiteral("12kg"), 12.0},
        {"unit before", QStringLiteral("kg12"), 0.0},
        {"exponent not read", QStringLiteral("1e3"), 1.0},
        {"comma and point", QStringLiteral("1,234.5"), 1.234},
        {"point alone", QStringLiteral("."), 0.0},
        {"comma then digit", QStringLiteral(",5"), 0.5},
        {"digit then mark", QStringLiteral("5,"), 5.0},
        {"empty", QStringLiteral(""), 0.0},
        {"tab ends the walk", QStringLiteral("\t5"), 0.0},
        {"spaces only", QStringLiteral("   "), 0.0},
        {"negative fraction", QStringLiteral("-0,25"), -0.25},
        {"negative zero", QStringLiteral("-0"), -0.0},
        {"sign after mark", QStringLiteral("1.-5"), 1.0},
        {"leading zeros", QStringLiteral("007"), 7.0},
        {"fifteen digits", QStringLiteral("123456789012345"), 123456789012345.0},
        {"many decimals", QStringLiteral("0,1000000000000000055511151231257827"), 0.1},
        {"superscript digit ends the walk", QStringLiteral("2²"), 2.0},
        {"arabic-indic digit ends the walk", QStringLiteral("3٣"), 3.0},
        {"null", std::nullopt, std::nullopt},
    };
    for (const char *locale : {"virgule", "point"}) {
        for (const Row &row : rows) {
            QTest::addRow("%s, %s", locale, row.name) << QString::fromLatin1(locale) << row.chaine << row.expected;
        }
    }
    // A regional separator that is neither comma nor point is a decimal mark too, but only
    // where it is the regional one: it is looked up at each call.
    const QString arabicMark(QChar(0x066B));
    QTest::newRow("arabe, regional mark") << "arabe" << std::optional(QStringLiteral("12") + arabicMark + "5")
                                          << std::optional(12.5);
    QTest::newRow("arabe, comma still a mark") << "arabe" << std::optional(QStringLiteral("12,5")) << std::optional(12.5);
    QTest::newRow("virgule, foreign mark ends the walk")
        << "virgule" << std::optional(QStringLiteral("12") + arabicMark + "5") << std::optional(12.0);
}

void TestLineCore::myVal()
{
    QFETCH(QString, locale);
    QFETCH(std::optional<QString>, chaine);
    QFETCH(std::optional<double>, expected);
    const ScopedLocale scoped(locale);
    if (locale == QLatin1String("arabe"))
        QCOMPARE(QLocale().decimalPoint(), QString(QChar(0x066B)));

    const std::optional<double> actual = MyVal(chaine);
    QCOMPARE(actual.has_value(), expected.has_value());
    if (expected)
        QCOMPARE(*actual, *expected);
}

void TestLineCore::myValOverflow()
{
    // 400 digits are more than a double holds; a fraction that small is simply zero.
    QVERIFY_THROWS_EXCEPTION(Failure, MyVal(QString(400, QLatin1Char('9'))));
    QCOMPARE(MyVal(QStringLiteral("0,") + QString(400, QLatin1Char('0')) + QStringLiteral("1")), 0.0);
    QCOMPARE(MyVal(QString(300, QLatin1Char('9'))), 1e300);
}

QTEST_GUILESS_MAIN(TestLineCore)
#include "tst_linecore.moc"
